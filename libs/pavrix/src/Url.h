// Absolute http(s) addresses: the cloud base, picture addresses and the
// targets of redirects.
#pragma once

#include <string>

namespace pavrix {

class Url
{
public:
    static bool parse(const std::string& text, Url* out);
    // Percent-encodes everything but unreserved characters, for query values.
    static std::string encodeQueryValue(const std::string& value);

    // A Location header: absolute, scheme-relative, absolute-path or relative.
    bool resolve(const std::string& location, Url* out) const;
    bool sameOrigin(const Url& other) const;
    // Same scheme and host, any port: the platform's own services.
    bool sameHost(const Url& other) const;
    std::string schemeHostPort() const;
    std::string toString() const { return schemeHostPort() + target; }

    std::string scheme; // "http" or "https"
    std::string host;   // without IPv6 brackets
    int port = 0;
    std::string target; // path and query, at least "/"
};

} // namespace pavrix
