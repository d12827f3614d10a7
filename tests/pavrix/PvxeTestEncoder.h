// Writes "PVXE" pictures the way the cloud does, so decryption can be checked
// without a server.
#pragma once

#include <openssl/evp.h>
#include <openssl/sha.h>

#include <memory>
#include <string>

namespace pvxtest {

inline std::string pvxeEncrypt(const std::string& plain, const std::string& code)
{
    const std::string salt = "0123456789abcdef", iv = "fedcba9876543210";
    const std::string keyInput = salt + code;
    unsigned char key[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(keyInput.data()), keyInput.size(), key);
    std::unique_ptr<EVP_CIPHER_CTX, void (*)(EVP_CIPHER_CTX*)> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    EVP_EncryptInit_ex(ctx.get(), EVP_aes_128_cbc(), nullptr, key,
                       reinterpret_cast<const unsigned char*>(iv.data()));
    std::string out(plain.size() + 32, '\0');
    int n = 0, tail = 0;
    auto* bytes = reinterpret_cast<unsigned char*>(&out[0]);
    EVP_EncryptUpdate(ctx.get(), bytes, &n, reinterpret_cast<const unsigned char*>(plain.data()),
                      int(plain.size()));
    EVP_EncryptFinal_ex(ctx.get(), bytes + n, &tail);
    out.resize(std::size_t(n + tail));
    return std::string("PVXE\x01", 5) + salt + iv + out;
}

} // namespace pvxtest
