#include "RequestTap.h"

#include <openssl/ssl.h>

#include <dlfcn.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <strings.h>

namespace {

// Beyond this a session's copy is dropped: a client streaming a huge body must not grow it without bound.
const size_t kMaxBuffered = 1 << 20;

std::mutex& tapMutex()
{
    static std::mutex m;
    return m;
}

std::map<const SSL*, std::string>& buffers()
{
    static std::map<const SSL*, std::string> b;
    return b;
}

struct Sessions
{
    std::set<const SSL*> open;
    long long accepted = 0;
};

Sessions& sessions()
{
    static Sessions s;
    return s;
}

std::string trim(const std::string& s)
{
    size_t b = s.find_first_not_of(" \t");
    size_t e = s.find_last_not_of(" \t\r");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

} // namespace

extern "C" int SSL_read(SSL* ssl, void* buf, int num)
{
    using Fn = int (*)(SSL*, void*, int);
    static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "SSL_read"));
    if (!real)
        std::abort();
    int n = real(ssl, buf, num);
    if (n > 0) {
        // Clients that write headers and body separately would otherwise wait out our delayed ACK.
        int one = 1;
        setsockopt(SSL_get_fd(ssl), IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
        std::lock_guard<std::mutex> lock(tapMutex());
        std::string& b = buffers()[ssl];
        if (b.size() + static_cast<size_t>(n) <= kMaxBuffered)
            b.append(static_cast<const char*>(buf), static_cast<size_t>(n));
        else
            b.clear();
    }
    return n;
}

extern "C" int SSL_accept(SSL* ssl)
{
    using Fn = int (*)(SSL*);
    static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "SSL_accept"));
    if (!real)
        std::abort();
    int result = real(ssl);
    if (result == 1) {
        std::lock_guard<std::mutex> lock(tapMutex());
        sessions().open.insert(ssl);
        ++sessions().accepted;
    }
    return result;
}

extern "C" void SSL_free(SSL* ssl)
{
    using Fn = void (*)(SSL*);
    static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "SSL_free"));
    if (!real)
        std::abort();
    {
        std::lock_guard<std::mutex> lock(tapMutex());
        buffers().erase(ssl);
        sessions().open.erase(ssl);
    }
    real(ssl);
}

namespace RequestTap {

bool takeHead(const SSL* ssl, HeaderList& headers)
{
    std::lock_guard<std::mutex> lock(tapMutex());
    auto it = buffers().find(ssl);
    if (it == buffers().end())
        return false;
    std::string& b = it->second;
    size_t end = b.find("\r\n\r\n");
    if (end == std::string::npos)
        return false;
    size_t pos = b.find("\r\n");
    size_t length = 0;
    while (pos < end) {
        size_t next = b.find("\r\n", pos + 2);
        std::string line = b.substr(pos + 2, next - pos - 2);
        size_t colon = line.find(':');
        if (colon != std::string::npos) {
            std::string name = line.substr(0, colon);
            std::string value = trim(line.substr(colon + 1));
            if (strcasecmp(name.c_str(), "Content-Length") == 0)
                length = std::strtoul(value.c_str(), nullptr, 10);
            headers.emplace_back(name, value);
        }
        pos = next;
    }
    size_t consumed = std::min(b.size(), end + 4 + length);
    b.erase(0, consumed);
    return true;
}

void dropConnection(const SSL* ssl)
{
    int fd = SSL_get_fd(ssl);
    if (fd >= 0)
        shutdown(fd, SHUT_RDWR);
}

ConnectionCount connections()
{
    std::lock_guard<std::mutex> lock(tapMutex());
    return {sessions().accepted, static_cast<int>(sessions().open.size())};
}

int closeConnections()
{
    std::lock_guard<std::mutex> lock(tapMutex());
    for (const SSL* ssl : sessions().open)
        dropConnection(ssl);
    return static_cast<int>(sessions().open.size());
}

} // namespace RequestTap
