#include "sntp/nts/NtsExtensionFields.h"
#include "sntp/nts/AesSivCmac256.h"

#include <gtest/gtest.h>

namespace
{

const CAesSivCmac256 kAead;
const NtsBytes kClientKey(32, 0x11), kServerKey(32, 0x22), kNonce(16, 0x33);
const NtsBytes kUniqueId(kNtsUniqueIdSize, 0x44);

NtsBytes Header(uint8_t first)
{
    NtsBytes header(kNtpHeaderSize, 0);
    header[0] = first;
    return header;
}

NtsBytes Join(NtsBytes a, const NtsBytes& b)
{
    Append(a, b);
    return a;
}

NtsBytes Field(uint16_t type, const NtsBytes& value)
{
    NtsBytes out;
    AppendExtensionField(out, type, value);
    return out;
}

// A server's answer: header, fields in the clear, the authenticator over them sealing the
// encrypted fields, then anything appended after it.
NtsBytes Answer(const std::vector<NtsBytes>& clear, const std::vector<NtsBytes>& encrypted,
                const NtsBytes& key = kServerKey, const NtsBytes& after = {})
{
    NtsBytes packet = Header(0x24), plaintext;
    for (const NtsBytes& f : clear) {
        Append(packet, f);
    }
    for (const NtsBytes& f : encrypted) {
        Append(plaintext, f);
    }
    EXPECT_TRUE(AppendAuthenticator(packet, kAead, key, kNonce, plaintext));
    Append(packet, after);
    return packet;
}

} // namespace

// The request as a server reads it: fields tile the packet, padded, authenticator last and
// opening over everything before it with the client's key.
TEST(NtsExtensionFields, RequestLayout)
{
    const NtsBytes header = Header(0x23), cookie(101, 0xC0);
    const auto packet = BuildNtsRequest(header, kUniqueId, cookie, kAead, kClientKey, kNonce);
    ASSERT_TRUE(packet);
    EXPECT_TRUE(std::equal(header.begin(), header.end(), packet->begin()));
    const auto fields = SplitExtensionFields(NtsByteView(*packet).subspan(kNtpHeaderSize));
    ASSERT_TRUE(fields);
    ASSERT_EQ(fields->size(), 3u);
    EXPECT_EQ((*fields)[0].type, kEfUniqueIdentifier);
    EXPECT_EQ((*fields)[0].value.size(), kNtsUniqueIdSize);
    EXPECT_EQ((*fields)[1].type, kEfCookie);
    EXPECT_EQ((*fields)[1].value.size(), 104u); // padded to a multiple of 4
    const NtsExtensionField& auth = (*fields)[2];
    ASSERT_EQ(auth.type, kEfAuthenticator);
    EXPECT_EQ(ReadU16(auth.value, 0), kNonce.size());
    EXPECT_EQ(ReadU16(auth.value, 2), CAesSivCmac256::kTagSize); // nothing encrypted
    NtsBytes plaintext{1};
    EXPECT_TRUE(kAead.Open(kClientKey, auth.value.subspan(4, 16),
                           NtsByteView(*packet).first(kNtpHeaderSize + auth.offset),
                           auth.value.subspan(20, 16), plaintext));
    EXPECT_TRUE(plaintext.empty());
    EXPECT_EQ(Field(0x1234, {}).size(), kEfMinSize);
}

TEST(NtsExtensionFields, ChecksAnswers)
{
    const NtsBytes id = Field(kEfUniqueIdentifier, kUniqueId);
    const NtsBytes otherId = Field(kEfUniqueIdentifier, NtsBytes(kNtsUniqueIdSize, 0x45));
    const NtsBytes cookie = Field(kEfCookie, NtsBytes(96, 0xC1));
    NtsBytes badLength = id;
    badLength[3] = 0x22; // 34: not a multiple of 4
    NtsBytes noNonce = Answer({id}, {cookie});
    noNonce[kNtpHeaderSize + id.size() + 4 + 1] = 0; // nonce length 0
    NtsBytes longCiphertext = Answer({id}, {});
    longCiphertext[kNtpHeaderSize + id.size() + 4 + 2] = 1; // ciphertext of 256 + 16 bytes
    NtsBytes changedHeader = Answer({id}, {cookie});
    changedHeader[1] ^= 1;
    struct Case {
        const char* name;
        NtsBytes packet;
        NtsAnswerCheck check;
        size_t cookies = 0;
    } const cases[] = {
        {"identifier in the clear", Answer({id}, {cookie, cookie}), NtsAnswerCheck::Authentic, 2},
        {"identifier encrypted", Answer({}, {id, cookie}), NtsAnswerCheck::Authentic, 1},
        {"other identifier", Answer({otherId}, {cookie}), NtsAnswerCheck::IdentifierMismatch},
        {"no identifier", Answer({}, {cookie}), NtsAnswerCheck::IdentifierMismatch},
        {"other key", Answer({id}, {cookie}, kClientKey), NtsAnswerCheck::AuthenticatorMismatch},
        {"header changed", changedHeader, NtsAnswerCheck::AuthenticatorMismatch},
        {"plain answer", Header(0x24), NtsAnswerCheck::Unauthenticated},
        {"plain answer with a field", Join(Header(0x24), id), NtsAnswerCheck::Unauthenticated},
        {"field after the authenticator", Answer({id}, {}, kServerKey, cookie),
         NtsAnswerCheck::Malformed},
        {"field length not a multiple of 4", Answer({badLength}, {}), NtsAnswerCheck::Malformed},
        {"stray bytes", Answer({id}, {}, kServerKey, {0, 0}), NtsAnswerCheck::Malformed},
        {"nonce length 0", noNonce, NtsAnswerCheck::Malformed},
        {"ciphertext past the field", longCiphertext, NtsAnswerCheck::Malformed},
        {"short header", NtsBytes(40, 0), NtsAnswerCheck::Malformed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<NtsBytes> cookies;
        EXPECT_EQ(CheckNtsAnswer(c.packet, kUniqueId, kAead, kServerKey, cookies), c.check);
        EXPECT_EQ(cookies.size(), c.cookies);
    }
    EXPECT_TRUE(HasUniqueIdentifier(Join(Header(0x24), id), kUniqueId));
    EXPECT_FALSE(HasUniqueIdentifier(Join(Header(0x24), otherId), kUniqueId));
}
