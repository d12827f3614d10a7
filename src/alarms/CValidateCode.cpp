#include "alarms/CValidateCode.h"

#include <QByteArray>

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <memory>

namespace {

bool DecryptBlock(const unsigned char* pKey, const unsigned char* pIn, unsigned char* pOut)
{
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                        &EVP_CIPHER_CTX_free);
    if (!ctx || EVP_DecryptInit_ex(ctx.get(), EVP_aes_128_ecb(), nullptr, pKey, nullptr) != 1) {
        return false;
    }
    EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
    int nOut = 0;
    if (EVP_DecryptUpdate(ctx.get(), pOut, &nOut, pIn, static_cast<int>(CValidateCode::kBlockBytes)) != 1) {
        return false;
    }
    int nFinal = 0;
    return EVP_DecryptFinal_ex(ctx.get(), pOut + nOut, &nFinal) == 1 &&
           nOut + nFinal == static_cast<int>(CValidateCode::kBlockBytes);
}

// 8-character codes are filled with 0x08, 6-character ones with 0x0A; a NUL
// ends the text as it would in the camera's own buffer.
std::string CutFill(const std::string& strPlain)
{
    size_t nEnd = strPlain.find('\x08');
    if (nEnd == std::string::npos) {
        nEnd = strPlain.find('\x0A');
    }
    std::string strCode = strPlain.substr(0, nEnd);
    return strCode.substr(0, strCode.find('\0'));
}

} // namespace

std::string CValidateCode::Decrypt(const std::string& strBase64, const std::string& strAesKey)
{
    const auto decoded = QByteArray::fromBase64Encoding(QByteArray::fromStdString(strBase64),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() < static_cast<int>(kBlockBytes)) {
        return std::string();
    }
    std::array<unsigned char, kKeyBufferBytes> key{};
    std::copy_n(strAesKey.begin(), std::min(strAesKey.size(), key.size()), key.begin());

    std::array<unsigned char, kBlockBytes * 2> plain{};
    if (!DecryptBlock(key.data(), reinterpret_cast<const unsigned char*>(decoded.decoded.constData()),
                      plain.data())) {
        return std::string();
    }
    return CutFill(std::string(reinterpret_cast<const char*>(plain.data()), kBlockBytes));
}
