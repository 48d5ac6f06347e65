#pragma once

#include "sntp/nts/Aead.h"
#include "sntp/nts/NtsBytes.h"

#include <optional>

// The NTS extension fields that follow the 48-byte NTPv4 header: type (2 bytes), length of the
// whole field (2 bytes, a multiple of 4), value.
constexpr uint16_t kEfUniqueIdentifier = 0x0104;
constexpr uint16_t kEfCookie = 0x0204;
constexpr uint16_t kEfCookiePlaceholder = 0x0304;
constexpr uint16_t kEfAuthenticator = 0x0404;

constexpr size_t kNtpHeaderSize = 48;
constexpr size_t kEfHeaderSize = 4;
// No field is shorter than this, padding included.
constexpr size_t kEfMinSize = 16;
constexpr size_t kNtsUniqueIdSize = 32;
constexpr size_t kNtsNonceSize = 16;

struct NtsExtensionField {
    uint16_t type{};
    NtsByteView value; // padding included
    size_t offset{};   // of the field's first byte in the split data
};

// Appends one field; the value is padded with zeros to a multiple of 4 and to the minimum size.
void AppendExtensionField(NtsBytes& packet, uint16_t type, NtsByteView value);

// The fields that exactly fill data, or nothing when a length is short, not a multiple of 4 or
// runs past the end.
std::optional<std::vector<NtsExtensionField>> SplitExtensionFields(NtsByteView data);

// Appends the authenticator over everything in packet so far (the associated data), sealing
// plaintext (further fields, or nothing) with the key and nonce. False when the cipher refuses.
bool AppendAuthenticator(NtsBytes& packet, const CAead& aead, NtsByteView key, NtsByteView nonce,
                         NtsByteView plaintext);

// The time request: the header, the unique identifier, one cookie, the authenticator.
std::optional<NtsBytes> BuildNtsRequest(NtsByteView header, NtsByteView uniqueId,
                                        NtsByteView cookie, const CAead& aead, NtsByteView key,
                                        NtsByteView nonce);

enum class NtsAnswerCheck {
    Authentic,
    Malformed,          // the fields do not tile the packet, or an authenticator is malformed
    Unauthenticated,    // no authenticator: a plain answer
    IdentifierMismatch, // no unique identifier, or another than the request's
    AuthenticatorMismatch,
};

// Checks an answer of at least 48 bytes: its fields, then the authenticator, which must be the
// last field and open with the key over the packet before it, then that the unique identifier
// (authenticated or encrypted) is the request's. Authentic answers give the cookies they carry.
NtsAnswerCheck CheckNtsAnswer(NtsByteView packet, NtsByteView uniqueId, const CAead& aead,
                              NtsByteView key, std::vector<NtsBytes>& cookies);

// Whether the packet carries the given unique identifier outside any encryption: how a
// kiss-o'-death that the server could not authenticate is matched to its request.
bool HasUniqueIdentifier(NtsByteView packet, NtsByteView uniqueId);
