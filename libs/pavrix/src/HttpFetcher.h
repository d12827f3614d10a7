// HTTP(S) GET on top of the cpp-httplib client: TLS verification with the
// system's CAs plus an extra PEM file, bounded bodies, kept-alive connections
// for short requests, abortable streams and redirects that do not carry the
// access token to another origin.
#pragma once

#include "ConnectionPool.h"
#include "Url.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace pavrix {

class AbortHandle;

struct TlsSettings
{
    bool verify = true;
    std::string caFile;

    // $PAVRIX_TLS_VERIFY ("0" turns verification off) and $PAVRIX_CA_FILE.
    static TlsSettings fromEnvironment();
};

struct HttpOptions
{
    std::string bearerToken;
    int connectTimeoutMs = 3000;
    int readTimeoutMs = 10000;
    std::size_t maxBody = 16u << 20;
};

struct HttpResponse
{
    enum class Failure
    {
        None,
        Network,
        TooLarge,
        Aborted
    };

    int status = 0; // 0 when no HTTP answer arrived
    std::string body;
    std::string location;
    // What the server says about keeping the body.
    std::string cacheControl;
    std::string expires;
    std::string date;
    Failure failure = Failure::None;
    std::string failureText;

    bool answered() const { return failure == Failure::None; }
};

class HttpFetcher
{
public:
    using StatusHandler = std::function<bool(int status)>;
    using DataHandler = std::function<bool(const char* data, std::size_t size)>;

    // Copies share one pool of kept-alive connections.
    explicit HttpFetcher(TlsSettings tls, ConnectionPool::Limits limits = {});

    // Without an abort handle the request goes over a kept-alive connection;
    // one that fails on a reused connection before any answer (the server may
    // have closed it while idle) is sent once more on a fresh one.
    HttpResponse get(const Url& url, const HttpOptions& options, AbortHandle* abort = nullptr) const;
    // On a connection of its own, closed afterwards. A 200 body goes to onData
    // as it arrives; any other status's body is kept (bounded) in the response.
    // Either handler returning false ends the request.
    HttpResponse stream(const Url& url, const HttpOptions& options, AbortHandle& abort,
                        StatusHandler onStatus, DataHandler onData) const;
    HttpResponse getFollowingRedirects(const Url& url, const HttpOptions& options, int maxRedirects,
                                       std::string* finalAddress = nullptr) const;
    void closeIdleConnections() const;

private:
    HttpResponse pooledGet(const Url& url, const HttpOptions& options) const;
    HttpResponse ownConnection(const Url& url, const HttpOptions& options, AbortHandle* abort,
                               const StatusHandler& onStatus, const DataHandler& onData) const;

    TlsSettings m_tls;
    std::shared_ptr<ConnectionPool> m_pool;
};

} // namespace pavrix
