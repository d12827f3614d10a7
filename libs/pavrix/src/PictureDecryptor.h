// Snapshot pictures: downloaded with the access token, "PVXE" bodies decrypted
// with the device's verification code, plain JPEG/PNG bodies passed through.
#pragma once

#include "SdkError.h"

#include <string>

namespace pavrix {

class HttpFetcher;

class PictureDecryptor
{
public:
    static constexpr std::size_t kMaxPictureBytes = 16u << 20;
    static constexpr int kMaxRedirects = 5;

    explicit PictureDecryptor(const HttpFetcher& fetcher) : m_fetcher(fetcher) {}

    SdkError fetch(const std::string& token, const std::string& address, const std::string& code,
                   std::string* picture) const;
    // The body as the cloud stores it (encrypted pictures stay encrypted) and
    // how long it may be kept: seconds, 0 not at all, -1 nothing said.
    SdkError download(const std::string& token, const std::string& address, std::string* body,
                      int* maxAge) const;
    // Seconds a response lets its body be kept, from Cache-Control (no-store
    // and no-cache: 0, max-age) or else Expires against Date (or now); -1
    // when neither is given.
    static int maxAgeOf(const std::string& cacheControl, const std::string& expires, const std::string& date);

    // The body as downloaded: a "PVXE" container or a plain picture.
    static SdkError decode(const std::string& body, const std::string& code, std::string* picture);
    static bool isPicture(const std::string& bytes);

private:
    const HttpFetcher& m_fetcher;
};

} // namespace pavrix
