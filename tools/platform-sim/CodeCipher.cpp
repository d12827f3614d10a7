#include "CodeCipher.h"

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <memory>

namespace {

struct CtxFree
{
    void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};
using CtxPtr = std::unique_ptr<EVP_CIPHER_CTX, CtxFree>;

const unsigned char* bytes(const std::string& s)
{
    return reinterpret_cast<const unsigned char*>(s.data());
}

bool crypt(const EVP_CIPHER* cipher, bool encrypt, const std::string& key, const std::string& iv,
           bool padding, const std::string& in, std::string& out)
{
    CtxPtr ctx(EVP_CIPHER_CTX_new());
    if (!ctx || EVP_CipherInit_ex(ctx.get(), cipher, nullptr, bytes(key), iv.empty() ? nullptr : bytes(iv),
                                  encrypt ? 1 : 0) != 1)
        return false;
    EVP_CIPHER_CTX_set_padding(ctx.get(), padding ? 1 : 0);
    out.assign(in.size() + 32, '\0');
    int n1 = 0;
    int n2 = 0;
    auto* o = reinterpret_cast<unsigned char*>(&out[0]);
    if (EVP_CipherUpdate(ctx.get(), o, &n1, bytes(in), static_cast<int>(in.size())) != 1 ||
        EVP_CipherFinal_ex(ctx.get(), o + n1, &n2) != 1)
        return false;
    out.resize(static_cast<size_t>(n1 + n2));
    return true;
}

std::string base64(const std::string& raw)
{
    std::string out(4 * ((raw.size() + 2) / 3) + 1, '\0');
    int n =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&out[0]), bytes(raw), static_cast<int>(raw.size()));
    out.resize(static_cast<size_t>(n));
    return out;
}

std::string pictureKey(const std::string& salt, const std::string& code)
{
    unsigned char digest[SHA256_DIGEST_LENGTH];
    std::string material = salt + code;
    SHA256(bytes(material), material.size(), digest);
    return std::string(reinterpret_cast<char*>(digest), 16);
}

} // namespace

namespace CodeCipher {

std::string encryptValidateCode(const std::string& code, const std::string& aesKey)
{
    if (code.empty() || code.size() > 15 || aesKey.size() < 16)
        return {};
    std::string block = code + std::string(16 - code.size(), static_cast<char>(16 - code.size()));
    std::string out;
    if (!crypt(EVP_aes_128_ecb(), true, aesKey.substr(0, 16), {}, false, block, out))
        return {};
    return base64(out);
}

std::string decryptValidateCode(const std::string& text, const std::string& aesKey)
{
    if (text.empty() || text.size() % 4 != 0 || aesKey.size() < 16)
        return {};
    std::string raw(text.size(), '\0');
    int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(&raw[0]), bytes(text),
                            static_cast<int>(text.size()));
    if (n < 16)
        return {};
    std::string plain;
    if (!crypt(EVP_aes_128_ecb(), false, aesKey.substr(0, 16), {}, false, raw.substr(0, 16), plain))
        return {};
    unsigned char fill = static_cast<unsigned char>(plain.back());
    if (fill < 1 || fill > 15)
        return {};
    return plain.substr(0, 16 - fill);
}

std::string encryptPicture(const std::string& jpeg, const std::string& code)
{
    std::string salt(16, '\0');
    std::string iv(16, '\0');
    RAND_bytes(reinterpret_cast<unsigned char*>(&salt[0]), 16);
    RAND_bytes(reinterpret_cast<unsigned char*>(&iv[0]), 16);
    std::string cipherText;
    if (!crypt(EVP_aes_128_cbc(), true, pictureKey(salt, code), iv, true, jpeg, cipherText))
        return {};
    return std::string("PVXE") + '\x01' + salt + iv + cipherText;
}

bool decryptPicture(const std::string& object, const std::string& code, std::string& jpeg)
{
    if (object.size() < 37 + 16 || object.compare(0, 4, "PVXE") != 0 || object[4] != 1)
        return false;
    std::string salt = object.substr(5, 16);
    std::string iv = object.substr(21, 16);
    if (!crypt(EVP_aes_128_cbc(), false, pictureKey(salt, code), iv, true, object.substr(37), jpeg))
        return false;
    return jpeg.size() > 3 && static_cast<unsigned char>(jpeg[0]) == 0xFF &&
           static_cast<unsigned char>(jpeg[1]) == 0xD8;
}

} // namespace CodeCipher
