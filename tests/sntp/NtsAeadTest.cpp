// The cipher is GnuTLS's AES-SIV-CMAC-256; that it agrees with other NTS implementations is
// checked against chronyd in the client's test, and that it refuses changed packets in the
// extension fields' test. Here: what it must refuse before GnuTLS sees it.
#include "sntp/nts/AesSivCmac256.h"

#include <gtest/gtest.h>

// GnuTLS aborts the process on an empty nonce, and a server chooses the nonce of its answer.
TEST(NtsAead, RefusesWhatTheCipherCannotTake)
{
    const CAesSivCmac256 aead;
    const NtsBytes key(32, 1), shortKey(16, 1), nonce(16, 2), tagOnly(15, 0);
    NtsBytes out;
    EXPECT_FALSE(aead.Seal(key, {}, {}, {}, out));
    EXPECT_FALSE(aead.Open(key, {}, {}, NtsBytes(16, 0), out));
    EXPECT_FALSE(aead.Seal(shortKey, nonce, {}, {}, out));
    EXPECT_FALSE(aead.Open(key, nonce, {}, tagOnly, out));
}
