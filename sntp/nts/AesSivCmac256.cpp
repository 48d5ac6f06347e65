#include "sntp/nts/AesSivCmac256.h"

#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>

#include <memory>

namespace
{

struct CipherDeleter {
    void operator()(api_aead_cipher_hd_st* cipher) const { gnutls_aead_cipher_deinit(cipher); }
};
using Cipher = std::unique_ptr<api_aead_cipher_hd_st, CipherDeleter>;

// GnuTLS aborts the process on an empty SIV nonce, so one never reaches it.
Cipher MakeCipher(NtsByteView key, NtsByteView nonce)
{
    if (key.size() != CAesSivCmac256::kKeySize || nonce.empty()) {
        return nullptr;
    }
    gnutls_datum_t datum{const_cast<uint8_t*>(key.data()), static_cast<unsigned>(key.size())};
    gnutls_aead_cipher_hd_t handle = nullptr;
    if (gnutls_aead_cipher_init(&handle, GNUTLS_CIPHER_AES_128_SIV, &datum) < 0) {
        return nullptr;
    }
    return Cipher(handle);
}

} // namespace

bool CAesSivCmac256::Seal(NtsByteView key, NtsByteView nonce, NtsByteView associatedData,
                          NtsByteView plaintext, NtsBytes& ciphertext) const
{
    const Cipher cipher = MakeCipher(key, nonce);
    if (!cipher) {
        return false;
    }
    NtsBytes out(plaintext.size() + kTagSize);
    size_t length = out.size();
    if (gnutls_aead_cipher_encrypt(cipher.get(), nonce.data(), nonce.size(), associatedData.data(),
                                   associatedData.size(), kTagSize, plaintext.data(),
                                   plaintext.size(), out.data(), &length) < 0) {
        return false;
    }
    out.resize(length);
    ciphertext = std::move(out);
    return true;
}

bool CAesSivCmac256::Open(NtsByteView key, NtsByteView nonce, NtsByteView associatedData,
                          NtsByteView ciphertext, NtsBytes& plaintext) const
{
    const Cipher cipher = MakeCipher(key, nonce);
    if (!cipher || ciphertext.size() < kTagSize) {
        return false;
    }
    NtsBytes out(ciphertext.size());
    size_t length = out.size();
    if (gnutls_aead_cipher_decrypt(cipher.get(), nonce.data(), nonce.size(), associatedData.data(),
                                   associatedData.size(), kTagSize, ciphertext.data(),
                                   ciphertext.size(), out.data(), &length) < 0) {
        return false;
    }
    out.resize(length);
    plaintext = std::move(out);
    return true;
}
