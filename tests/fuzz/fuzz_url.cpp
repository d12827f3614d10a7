// Addresses the video library takes: the cloud base, picture addresses and
// redirect targets. Input: an address, then after a newline a Location header
// resolved against it. A parsed address written out parses to itself.
#include "Fuzz.h"
#include "Url.h"

#include <cctype>

namespace {

void CheckWellFormed(const pavrix::Url& url)
{
    FUZZ_CHECK(url.scheme == "http" || url.scheme == "https");
    FUZZ_CHECK(!url.host.empty() && url.port >= 1 && url.port <= 65535);
    // The target goes into the request line as it is.
    FUZZ_CHECK(!url.target.empty() && url.target[0] == '/');
    FUZZ_CHECK(url.target.find_first_of("# \r\n") == std::string::npos);
    pavrix::Url again;
    FUZZ_CHECK(pavrix::Url::parse(url.toString(), &again));
    FUZZ_CHECK(again.toString() == url.toString() && again.sameOrigin(url));
}

int HexValue(char c)
{
    return std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

} // namespace

FUZZ_TARGET
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t nNewline = input.find('\n');
    const std::string address = input.substr(0, nNewline);
    const std::string location = nNewline == std::string::npos ? std::string() : input.substr(nNewline + 1);

    pavrix::Url url;
    if (pavrix::Url::parse(address, &url)) {
        CheckWellFormed(url);
        pavrix::Url next;
        if (url.resolve(location, &next))
            CheckWellFormed(next);
    }

    // A query value encodes to unreserved characters and %XX, and back.
    const std::string encoded = pavrix::Url::encodeQueryValue(input);
    std::string decoded;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] != '%') {
            FUZZ_CHECK(std::isalnum(static_cast<unsigned char>(encoded[i])) ||
                       std::string("-_.~").find(encoded[i]) != std::string::npos);
            decoded += encoded[i];
            continue;
        }
        FUZZ_CHECK(i + 2 < encoded.size() && HexValue(encoded[i + 1]) >= 0 && HexValue(encoded[i + 2]) >= 0);
        decoded += static_cast<char>(HexValue(encoded[i + 1]) * 16 + HexValue(encoded[i + 2]));
        i += 2;
    }
    FUZZ_CHECK(decoded == input);
}
