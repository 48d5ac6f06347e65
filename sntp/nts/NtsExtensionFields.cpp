#include "sntp/nts/NtsExtensionFields.h"

#include <algorithm>

namespace
{

size_t Padded(size_t size)
{
    return (size + 3) & ~size_t{3};
}

bool SameBytes(NtsByteView a, NtsByteView b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

// A unique identifier field matches when its value, padding included, is the request's.
bool MatchesIdentifier(const std::vector<NtsExtensionField>& fields, NtsByteView uniqueId)
{
    return std::any_of(fields.begin(), fields.end(), [&](const NtsExtensionField& field) {
        return field.type == kEfUniqueIdentifier && SameBytes(field.value, uniqueId);
    });
}

struct Authenticator {
    NtsByteView nonce;
    NtsByteView ciphertext;
};

// Nonce length, ciphertext length, nonce, ciphertext, each padded to 4 bytes; padding past the
// ciphertext is allowed.
std::optional<Authenticator> ReadAuthenticator(NtsByteView value)
{
    if (value.size() < 4) {
        return std::nullopt;
    }
    const size_t nonceSize = ReadU16(value, 0);
    const size_t ciphertextSize = ReadU16(value, 2);
    if (nonceSize == 0 || 4 + Padded(nonceSize) + Padded(ciphertextSize) > value.size()) {
        return std::nullopt;
    }
    return Authenticator{value.subspan(4, nonceSize),
                         value.subspan(4 + Padded(nonceSize), ciphertextSize)};
}

std::optional<std::vector<NtsExtensionField>> SplitAfterHeader(NtsByteView packet)
{
    if (packet.size() < kNtpHeaderSize) {
        return std::nullopt;
    }
    auto fields = SplitExtensionFields(packet.subspan(kNtpHeaderSize));
    if (fields) {
        for (NtsExtensionField& field : *fields) {
            field.offset += kNtpHeaderSize;
        }
    }
    return fields;
}

} // namespace

void AppendExtensionField(NtsBytes& packet, uint16_t type, NtsByteView value)
{
    const size_t size = std::max(kEfMinSize, Padded(kEfHeaderSize + value.size()));
    AppendU16(packet, type);
    AppendU16(packet, static_cast<uint16_t>(size));
    Append(packet, value);
    packet.resize(packet.size() + size - kEfHeaderSize - value.size());
}

std::optional<std::vector<NtsExtensionField>> SplitExtensionFields(NtsByteView data)
{
    std::vector<NtsExtensionField> fields;
    for (size_t at = 0; at < data.size();) {
        if (data.size() - at < kEfHeaderSize) {
            return std::nullopt;
        }
        // No field is shorter than four words (RFC 5905, 7.5), so a header alone is malformed.
        const size_t size = ReadU16(data, at + 2);
        if (size < kEfMinSize || size % 4 != 0 || size > data.size() - at) {
            return std::nullopt;
        }
        fields.push_back(
            {ReadU16(data, at), data.subspan(at + kEfHeaderSize, size - kEfHeaderSize), at});
        at += size;
    }
    return fields;
}

bool AppendAuthenticator(NtsBytes& packet, const CAead& aead, NtsByteView key, NtsByteView nonce,
                         NtsByteView plaintext)
{
    NtsBytes ciphertext;
    if (!aead.Seal(key, nonce, packet, plaintext, ciphertext)) {
        return false;
    }
    NtsBytes value;
    AppendU16(value, static_cast<uint16_t>(nonce.size()));
    AppendU16(value, static_cast<uint16_t>(ciphertext.size()));
    Append(value, nonce);
    value.resize(Padded(value.size()));
    Append(value, ciphertext);
    value.resize(Padded(value.size()));
    AppendExtensionField(packet, kEfAuthenticator, value);
    return true;
}

std::optional<NtsBytes> BuildNtsRequest(NtsByteView header, NtsByteView uniqueId,
                                        NtsByteView cookie, const CAead& aead, NtsByteView key,
                                        NtsByteView nonce)
{
    NtsBytes packet(header.begin(), header.end());
    AppendExtensionField(packet, kEfUniqueIdentifier, uniqueId);
    AppendExtensionField(packet, kEfCookie, cookie);
    if (!AppendAuthenticator(packet, aead, key, nonce, {})) {
        return std::nullopt;
    }
    return packet;
}

NtsAnswerCheck CheckNtsAnswer(NtsByteView packet, NtsByteView uniqueId, const CAead& aead,
                              NtsByteView key, std::vector<NtsBytes>& cookies)
{
    const auto fields = SplitAfterHeader(packet);
    if (!fields) {
        return NtsAnswerCheck::Malformed;
    }
    const auto authenticatorField =
        std::find_if(fields->begin(), fields->end(),
                     [](const NtsExtensionField& field) { return field.type == kEfAuthenticator; });
    if (authenticatorField == fields->end()) {
        return NtsAnswerCheck::Unauthenticated;
    }
    // Anything after the authenticator would be unauthenticated.
    const auto authenticator = ReadAuthenticator(authenticatorField->value);
    if (!authenticator || authenticatorField + 1 != fields->end()) {
        return NtsAnswerCheck::Malformed;
    }
    NtsBytes plaintext;
    if (!aead.Open(key, authenticator->nonce, packet.first(authenticatorField->offset),
                   authenticator->ciphertext, plaintext)) {
        return NtsAnswerCheck::AuthenticatorMismatch;
    }
    const auto encrypted = SplitExtensionFields(plaintext);
    if (!encrypted) {
        return NtsAnswerCheck::Malformed;
    }
    if (!MatchesIdentifier(*fields, uniqueId) && !MatchesIdentifier(*encrypted, uniqueId)) {
        return NtsAnswerCheck::IdentifierMismatch;
    }
    cookies.clear();
    for (const NtsExtensionField& field : *encrypted) {
        if (field.type == kEfCookie) {
            cookies.emplace_back(field.value.begin(), field.value.end());
        }
    }
    return NtsAnswerCheck::Authentic;
}

bool HasUniqueIdentifier(NtsByteView packet, NtsByteView uniqueId)
{
    const auto fields = SplitAfterHeader(packet);
    return fields && MatchesIdentifier(*fields, uniqueId);
}
