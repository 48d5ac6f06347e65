#pragma once

#include "sntp/nts/NtsBytes.h"

// An authenticated cipher with associated data, as NTS uses it: the ciphertext starts with the
// tag. Seal and Open return false for a key of the wrong size or an empty nonce; Open also
// when the tag does not match the key, nonce, associated data and ciphertext.
class CAead
{
public:
    virtual ~CAead() = default;

    // The algorithm's number in the NTS key exchange.
    virtual uint16_t Id() const = 0;
    virtual size_t KeySize() const = 0;
    virtual size_t TagSize() const = 0;

    virtual bool Seal(NtsByteView key, NtsByteView nonce, NtsByteView associatedData,
                      NtsByteView plaintext, NtsBytes& ciphertext) const = 0;
    virtual bool Open(NtsByteView key, NtsByteView nonce, NtsByteView associatedData,
                      NtsByteView ciphertext, NtsBytes& plaintext) const = 0;
};
