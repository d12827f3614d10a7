#include "PictureDecryptor.h"

#include "CloudClient.h"
#include "HttpFetcher.h"
#include "PavrixSDK.h"
#include "SdkLog.h"

#include <openssl/evp.h>
#include <openssl/sha.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <memory>

namespace pavrix {

namespace {

constexpr std::size_t kMagicSize = 4;
constexpr std::size_t kSaltSize = 16;
constexpr std::size_t kIvSize = 16;
constexpr std::size_t kHeaderSize = kMagicSize + 1 + kSaltSize + kIvSize;
constexpr unsigned char kVersion = 1;

struct CipherContextFree
{
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};

// False when the padding is wrong, which is what a wrong key almost always gives.
bool decryptCbc(const unsigned char* key, const unsigned char* iv, const std::string& cipherText,
                std::string* plain)
{
    std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree> ctx(EVP_CIPHER_CTX_new());
    if (!ctx || EVP_DecryptInit_ex(ctx.get(), EVP_aes_128_cbc(), nullptr, key, iv) != 1)
        return false;
    std::string out(cipherText.size() + 16, '\0');
    int written = 0;
    int tail = 0;
    auto* outBytes = reinterpret_cast<unsigned char*>(&out[0]);
    if (EVP_DecryptUpdate(ctx.get(), outBytes, &written,
                          reinterpret_cast<const unsigned char*>(cipherText.data()),
                          static_cast<int>(cipherText.size())) != 1 ||
        EVP_DecryptFinal_ex(ctx.get(), outBytes + written, &tail) != 1)
        return false;
    out.resize(static_cast<std::size_t>(written + tail));
    *plain = std::move(out);
    return true;
}

SdkError statusError(const HttpResponse& response)
{
    switch (response.status) {
    case 404:
    case 410:
        return {OPENSDK_ERR_PICTURE_EXPIRED, "picture expired"};
    case 401:
    case 403:
        return {OPENSDK_ERR_ACCESS_TOKEN, "access token not valid for the picture"};
    default:
        return CloudClient::replyError(response);
    }
}

} // namespace

bool PictureDecryptor::isPicture(const std::string& bytes)
{
    static const char jpeg[] = "\xFF\xD8\xFF";
    static const char png[] = "\x89PNG\r\n\x1A\n";
    return bytes.compare(0, sizeof jpeg - 1, jpeg) == 0 || bytes.compare(0, sizeof png - 1, png) == 0;
}

SdkError PictureDecryptor::decode(const std::string& body, const std::string& code, std::string* picture)
{
    if (body.compare(0, kMagicSize, "PVXE") != 0) {
        if (!isPicture(body))
            return {OPENSDK_ERR_BAD_REPLY, "body is neither an encrypted nor a plain picture"};
        *picture = body;
        return SdkError::none();
    }
    if (body.size() < kHeaderSize + 16 || static_cast<unsigned char>(body[kMagicSize]) != kVersion ||
        (body.size() - kHeaderSize) % 16 != 0)
        return {OPENSDK_ERR_BAD_REPLY, "encrypted picture is damaged or of an unknown version"};

    const std::string salt = body.substr(kMagicSize + 1, kSaltSize);
    const auto* iv = reinterpret_cast<const unsigned char*>(body.data() + kMagicSize + 1 + kSaltSize);
    const std::string keyInput = salt + code;
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(keyInput.data()), keyInput.size(), digest);

    std::string plain;
    if (!decryptCbc(digest, iv, body.substr(kHeaderSize), &plain) || !isPicture(plain))
        return {OPENSDK_ERR_PICTURE_CODE, "verification code does not decrypt the picture"};
    *picture = std::move(plain);
    return SdkError::none();
}

namespace {

std::string lowered(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// An HTTP date ("Sun, 06 Nov 1994 08:49:37 GMT"); -1 when it is not one.
long long httpDate(const std::string& text)
{
    std::tm parts{};
    const char* end = strptime(text.c_str(), "%a, %d %b %Y %H:%M:%S GMT", &parts);
    if (!end || *end != '\0')
        return -1;
    return static_cast<long long>(timegm(&parts));
}

} // namespace

int PictureDecryptor::maxAgeOf(const std::string& cacheControl, const std::string& expires,
                               const std::string& date)
{
    const std::string directives = lowered(cacheControl);
    if (directives.find("no-store") != std::string::npos || directives.find("no-cache") != std::string::npos)
        return 0;
    const std::size_t at = directives.find("max-age=");
    if (at != std::string::npos) {
        const long long seconds = std::strtoll(directives.c_str() + at + 8, nullptr, 10);
        return static_cast<int>(std::min<long long>(std::max<long long>(seconds, 0), INT32_MAX));
    }
    if (expires.empty())
        return -1;
    const long long until = httpDate(expires); // a date that does not parse is in the past
    const long long now =
        date.empty() || httpDate(date) < 0 ? static_cast<long long>(std::time(nullptr)) : httpDate(date);
    return until <= now ? 0 : static_cast<int>(std::min<long long>(until - now, INT32_MAX));
}

SdkError PictureDecryptor::download(const std::string& token, const std::string& address, std::string* body,
                                    int* maxAge) const
{
    Url url;
    if (!Url::parse(address, &url))
        return {OPENSDK_ERR_BAD_PARAMETER, "picture address is not an http(s) address"};
    HttpOptions options;
    options.bearerToken = token;
    options.connectTimeoutMs = 5000;
    options.readTimeoutMs = 10000;
    options.maxBody = kMaxPictureBytes;
    HttpResponse response = m_fetcher.getFollowingRedirects(url, options, kMaxRedirects);
    if (!response.answered() || response.status != 200) {
        const SdkError error =
            response.answered() ? statusError(response) : CloudClient::replyError(response);
        PVX_WARN("picture download failed: %d %s", error.code, error.desc.c_str());
        return error;
    }
    *maxAge = maxAgeOf(response.cacheControl, response.expires, response.date);
    *body = std::move(response.body);
    return SdkError::none();
}

SdkError PictureDecryptor::fetch(const std::string& token, const std::string& address,
                                 const std::string& code, std::string* picture) const
{
    std::string body;
    int maxAge = -1;
    const SdkError downloaded = download(token, address, &body, &maxAge);
    if (!downloaded.ok())
        return downloaded;
    const SdkError error = decode(body, code, picture);
    if (!error.ok())
        PVX_WARN("picture not usable: %d %s", error.code, error.desc.c_str());
    return error;
}

} // namespace pavrix
