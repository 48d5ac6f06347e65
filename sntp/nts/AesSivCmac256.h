#pragma once

#include "sntp/nts/Aead.h"

// AEAD_AES_SIV_CMAC_256 (RFC 5297 with one associated-data string and the nonce), from GnuTLS.
class CAesSivCmac256 : public CAead
{
public:
    static constexpr uint16_t kId = 15;
    static constexpr size_t kKeySize = 32;
    static constexpr size_t kTagSize = 16;

    uint16_t Id() const override { return kId; }
    size_t KeySize() const override { return kKeySize; }
    size_t TagSize() const override { return kTagSize; }

    bool Seal(NtsByteView key, NtsByteView nonce, NtsByteView associatedData, NtsByteView plaintext,
              NtsBytes& ciphertext) const override;
    bool Open(NtsByteView key, NtsByteView nonce, NtsByteView associatedData,
              NtsByteView ciphertext, NtsBytes& plaintext) const override;
};
