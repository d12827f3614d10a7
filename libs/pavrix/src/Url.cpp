#include "Url.h"

#include <algorithm>
#include <cctype>

namespace pavrix {

namespace {

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool parsePort(const std::string& text, int* port)
{
    if (text.empty() || text.size() > 5)
        return false;
    int value = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > 65535)
        return false;
    *port = value;
    return true;
}

bool hasControlOrSpace(const std::string& text)
{
    return std::any_of(text.begin(), text.end(), [](unsigned char c) { return c <= 0x20 || c == 0x7f; });
}

bool parseAuthority(const std::string& authority, Url* out)
{
    std::string hostPart = authority;
    std::string portPart;
    const bool bracketed = !authority.empty() && authority[0] == '[';
    if (bracketed) {
        const auto close = authority.find(']');
        if (close == std::string::npos)
            return false;
        hostPart = authority.substr(1, close - 1);
        const std::string rest = authority.substr(close + 1);
        if (!rest.empty()) {
            if (rest[0] != ':')
                return false;
            portPart = rest.substr(1);
        }
    } else {
        const auto colon = authority.rfind(':');
        if (colon != std::string::npos) {
            hostPart = authority.substr(0, colon);
            portPart = authority.substr(colon + 1);
        }
    }
    // Brackets belong around an IPv6 address only, and only it has colons:
    // anything else would name a different host when written out again.
    if (hostPart.empty() || hostPart.find_first_of("@[]") != std::string::npos ||
        (!bracketed && hostPart.find(':') != std::string::npos))
        return false;
    out->host = hostPart;
    if (portPart.empty()) {
        out->port = out->scheme == "https" ? 443 : 80;
        return true;
    }
    return parsePort(portPart, &out->port);
}

} // namespace

bool Url::parse(const std::string& text, Url* out)
{
    if (hasControlOrSpace(text))
        return false;
    const auto sep = text.find("://");
    if (sep == std::string::npos)
        return false;
    Url url;
    url.scheme = lower(text.substr(0, sep));
    if (url.scheme != "http" && url.scheme != "https")
        return false;
    const auto rest = text.substr(sep + 3);
    const auto pathStart = rest.find_first_of("/?#");
    const std::string authority = rest.substr(0, pathStart);
    if (!parseAuthority(authority, &url))
        return false;
    url.target = pathStart == std::string::npos ? "/" : rest.substr(pathStart);
    const auto hash = url.target.find('#');
    if (hash != std::string::npos)
        url.target.erase(hash);
    if (url.target.empty() || url.target[0] != '/')
        url.target.insert(0, "/");
    *out = url;
    return true;
}

std::string Url::encodeQueryValue(const std::string& value)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : value) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            encoded += static_cast<char>(c);
        } else {
            encoded += '%';
            encoded += hex[c >> 4];
            encoded += hex[c & 15];
        }
    }
    return encoded;
}

bool Url::resolve(const std::string& location, Url* out) const
{
    if (location.empty() || hasControlOrSpace(location))
        return false;
    if (location.find("://") != std::string::npos)
        return parse(location, out);
    if (location.compare(0, 2, "//") == 0)
        return parse(scheme + ":" + location, out);
    // The fragment is the client's own; it never goes into a request line.
    const std::string reference = location.substr(0, location.find('#'));
    Url next = *this;
    if (reference.empty()) {
        // the same document
    } else if (reference[0] == '/') {
        next.target = reference;
    } else {
        std::string base = target.substr(0, target.find('?'));
        base.erase(base.rfind('/') + 1);
        next.target = base + reference;
    }
    *out = next;
    return true;
}

bool Url::sameOrigin(const Url& other) const
{
    return scheme == other.scheme && lower(host) == lower(other.host) && port == other.port;
}

bool Url::sameHost(const Url& other) const
{
    return scheme == other.scheme && lower(host) == lower(other.host);
}

std::string Url::schemeHostPort() const
{
    const bool v6 = host.find(':') != std::string::npos;
    return scheme + "://" + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

} // namespace pavrix
