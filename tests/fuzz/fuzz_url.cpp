// Addresses the video library takes: the cloud base, picture addresses and
// redirect targets. Input: an address, then after a newline a Location header
// resolved against it. A parsed address written out parses to itself.
#include "Fuzz.h"
#include "Url.h"

#include <QByteArray>

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

    // A query value is written as RFC 3986 writes it: unreserved characters
    // as they are, every other byte as %XX in upper case.
    FUZZ_CHECK(QByteArray::fromStdString(pavrix::Url::encodeQueryValue(input)) ==
               QByteArray::fromStdString(input).toPercentEncoding());
}
