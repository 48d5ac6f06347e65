#include "sntp/nts/NtsExtensionFields.h"
#include "sntp/nts/AesSivCmac256.h"
#include "tests/sntp/NtsTestBytes.h"

#include <gtest/gtest.h>

namespace
{

const CAesSivCmac256 kAead;
const NtsBytes kClientKey(32, 0x11), kServerKey(32, 0x22), kNonce(16, 0x33);
const NtsBytes kUniqueId(kNtsUniqueIdSize, 0x44);

// An NTPv4 server's header with every other field zero.
const NtsBytes kHeader = Join({{0x24}, NtsBytes(kNtpHeaderSize - 1, 0)});

// A server's answer: header, fields in the clear, the authenticator over them sealing the
// encrypted fields.
NtsBytes Answer(const NtsBytes& clear, const NtsBytes& encrypted, const NtsBytes& key = kServerKey)
{
    NtsBytes packet = Join({kHeader, clear});
    EXPECT_TRUE(AppendAuthenticator(packet, kAead, key, kNonce, encrypted));
    return packet;
}

} // namespace

// Answers as a server may send them; the requests are checked by chronyd in the client's test.
TEST(NtsExtensionFields, AnswersAndWhatTheCipherRefuses)
{
    // The bytes with one of them replaced.
    const auto changed = [](NtsBytes bytes, size_t at, uint8_t value) {
        bytes[at] = value;
        return bytes;
    };
    const NtsBytes id = Field(kEfUniqueIdentifier, kUniqueId);
    const NtsBytes otherId = Field(kEfUniqueIdentifier, NtsBytes(kNtsUniqueIdSize, 0x45));
    const NtsBytes cookie = Field(kEfCookie, NtsBytes(96, 0xC1));
    // Where the authenticator after the identifier has its nonce and ciphertext lengths.
    const size_t lengths = kNtpHeaderSize + id.size() + kEfHeaderSize;
    using enum NtsAnswerCheck;
    struct Case {
        const char* name;
        NtsBytes packet;
        NtsAnswerCheck check;
        size_t cookies = 0;
    } const cases[] = {
        // clang-format off
        {"identifier in the clear, a field of 16 bytes", Answer(Join({id, Field(0x0F00, {})}), Join({cookie, cookie})), Authentic, 2},
        {"identifier encrypted", Answer({}, Join({id, cookie})), Authentic, 1},
        {"nothing encrypted", Answer(id, {}), Authentic, 0},
        {"other identifier", Answer(otherId, cookie), IdentifierMismatch},
        {"identifier's last byte", Answer(Field(kEfUniqueIdentifier, changed(kUniqueId, kNtsUniqueIdSize - 1, 0x45)), cookie), IdentifierMismatch},
        // The request's identifier as the start of a longer one, and a shorter one it starts with.
        {"longer identifier", Answer(Field(kEfUniqueIdentifier, NtsBytes(kNtsUniqueIdSize + 4, 0x44)), cookie), IdentifierMismatch},
        {"shorter identifier", Answer(Field(kEfUniqueIdentifier, NtsBytes(kNtsUniqueIdSize - 4, 0x44)), cookie), IdentifierMismatch},
        {"other key", Answer(id, cookie, kClientKey), AuthenticatorMismatch},
        {"header changed", changed(Answer(id, cookie), 1, 1), AuthenticatorMismatch},
        {"plain answer", kHeader, Unauthenticated},
        {"field after the authenticator", Join({Answer(id, {}), cookie}), Malformed},
        {"field length not a multiple of 4", Answer(changed(id, 3, 34), {}), Malformed},
        {"field past the end", Join({kHeader, id, changed(cookie, 3, 104)}), Malformed},
        {"bytes after the last field", Join({kHeader, id, {0, 0}}), Malformed},
        {"field of 12 bytes", Answer(Join({id, {0x0F, 0, 0, 12}, NtsBytes(8, 0)}), {}), Malformed},
        {"nonce length 0", changed(Answer(id, cookie), lengths + 1, 0), Malformed},
        {"ciphertext past the field", changed(Answer(id, {}), lengths + 2, 1), Malformed}, // 256 + 16 bytes
        {"ciphertext a block past the field", changed(Answer(id, {}), lengths + 3, 32), Malformed},
        // clang-format on
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<NtsBytes> cookies;
        EXPECT_EQ(CheckNtsAnswer(c.packet, kUniqueId, kAead, kServerKey, cookies), c.check);
        EXPECT_EQ(cookies.size(), c.cookies);
    }
    EXPECT_TRUE(HasUniqueIdentifier(Join({kHeader, id}), kUniqueId));
    EXPECT_FALSE(HasUniqueIdentifier(Join({kHeader, otherId}), kUniqueId));
    // The cipher is GnuTLS's AES-SIV-CMAC-256; that it agrees with other NTS implementations is
    // checked against chronyd in the query's test. Here: what it must refuse before GnuTLS sees
    // it, which aborts the process on an empty nonce (and a server chooses the nonce of its
    // answer).
    NtsBytes out;
    EXPECT_FALSE(kAead.Seal(kServerKey, {}, {}, {}, out));
    EXPECT_FALSE(kAead.Open(kServerKey, {}, {}, NtsBytes(16, 0), out));
    EXPECT_FALSE(kAead.Seal(NtsBytes(16, 1), kNonce, {}, {}, out));
    EXPECT_FALSE(kAead.Open(kServerKey, kNonce, {}, NtsBytes(15, 0), out));
}
