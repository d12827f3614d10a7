#include "HttpFetcher.h"

#include "AbortHandle.h"
#include "SdkLog.h"
#include "SigpipeGuard.h"

#include <httplib.h>
#include <openssl/x509.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>

namespace pavrix {

namespace {

// Loading the system's CA bundle costs tens of milliseconds, so one store per
// CA file is built once and shared; each client's SSL context takes one reference.
X509_STORE* makeCertStore(const TlsSettings& tls)
{
    static std::mutex mutex;
    // Kept for the process's life, never destroyed: a client may still hold one while statics go.
    static auto& stores = *new std::map<std::string, X509_STORE*>;
    std::lock_guard<std::mutex> lock(mutex);
    X509_STORE*& store = stores[tls.caFile];
    if (!store) {
        store = X509_STORE_new();
        if (!store)
            return nullptr;
        X509_STORE_set_default_paths(store);
        if (!tls.caFile.empty() && X509_STORE_load_locations(store, tls.caFile.c_str(), nullptr) != 1)
            PVX_WARN("cannot load CA file %s; using the system's CAs only", tls.caFile.c_str());
    }
    X509_STORE_up_ref(store);
    return store;
}

std::string defaultCertDir()
{
    const char* fromEnvironment = std::getenv(X509_get_default_cert_dir_env());
    return fromEnvironment ? fromEnvironment : X509_get_default_cert_dir();
}

// TLS and redirects are set once per connection, time limits per request.
std::unique_ptr<httplib::Client> newClient(const Url& url, const TlsSettings& tls, bool keepAlive)
{
    auto client = std::make_unique<httplib::Client>(url.schemeHostPort());
    if (!client->is_valid())
        return client;
    client->set_write_timeout(5, 0);
    client->set_keep_alive(keepAlive);
    client->set_follow_location(false);
    if (url.scheme == "https") {
        client->enable_server_certificate_verification(tls.verify);
        if (tls.verify) {
            client->set_ca_cert_store(makeCertStore(tls));
            // Given no CA location, the client would read the system's bundle
            // into the shared store again on connecting, some 40 ms each time.
            // The default directory is already in the store, so naming it
            // costs nothing and changes nothing.
            client->set_ca_cert_path(std::string(), defaultCertDir());
        }
    }
    return client;
}

void setTimeouts(httplib::Client& client, const HttpOptions& options)
{
    client.set_connection_timeout(options.connectTimeoutMs / 1000, (options.connectTimeoutMs % 1000) * 1000);
    client.set_read_timeout(options.readTimeoutMs / 1000, (options.readTimeoutMs % 1000) * 1000);
}

HttpResponse cannotSetUp(const Url& url)
{
    HttpResponse response;
    response.failure = HttpResponse::Failure::Network;
    response.failureText = "cannot set up a client for " + url.schemeHostPort();
    return response;
}

httplib::Headers headersFor(const HttpOptions& options)
{
    httplib::Headers headers;
    if (!options.bearerToken.empty())
        headers.emplace("Authorization", "Bearer " + options.bearerToken);
    return headers;
}

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// One request on a client set up for the url's origin.
HttpResponse exchange(httplib::Client& client, const Url& url, const HttpOptions& options, AbortHandle* abort,
                      const HttpFetcher::StatusHandler& onStatus, const HttpFetcher::DataHandler& onData)
{
    SigpipeGuard noSigpipe;
    HttpResponse response;
    bool tooLarge = false;
    bool handlerStopped = false;
    auto onResponse = [&](const httplib::Response& res) {
        response.status = res.status;
        response.location = res.get_header_value("Location");
        response.cacheControl = res.get_header_value("Cache-Control");
        response.expires = res.get_header_value("Expires");
        response.date = res.get_header_value("Date");
        const bool streaming = onData && res.status == 200;
        if (!streaming && res.has_header("Content-Length") &&
            std::strtoull(res.get_header_value("Content-Length").c_str(), nullptr, 10) > options.maxBody) {
            tooLarge = true;
            return false;
        }
        if (onStatus && res.status == 200 && !onStatus(res.status)) {
            handlerStopped = true;
            return false;
        }
        return true;
    };
    auto onContent = [&](const char* data, std::size_t size) {
        if (onData && response.status == 200) {
            if (!onData(data, size)) {
                handlerStopped = true;
                return false;
            }
            return true;
        }
        if (response.body.size() + size > options.maxBody) {
            tooLarge = true;
            return false;
        }
        response.body.append(data, size);
        return true;
    };
    httplib::Result result = client.Get(url.target.c_str(), headersFor(options), onResponse, onContent);
    if (abort)
        abort->detach();

    if (tooLarge) {
        response.failure = HttpResponse::Failure::TooLarge;
        response.failureText = "body larger than " + std::to_string(options.maxBody) + " bytes";
    } else if ((abort && abort->aborted()) || handlerStopped) {
        response.failure = HttpResponse::Failure::Aborted;
        response.failureText = "aborted";
    } else if (!result) {
        response.failure = HttpResponse::Failure::Network;
        response.failureText = httplib::to_string(result.error());
    }
    return response;
}

} // namespace

TlsSettings TlsSettings::fromEnvironment()
{
    TlsSettings tls;
    const char* verify = std::getenv("PAVRIX_TLS_VERIFY");
    tls.verify = !(verify && std::string(verify) == "0");
    const char* caFile = std::getenv("PAVRIX_CA_FILE");
    if (caFile)
        tls.caFile = caFile;
    return tls;
}

HttpFetcher::HttpFetcher(TlsSettings tls, ConnectionPool::Limits limits) : m_tls(std::move(tls))
{
    const TlsSettings settings = m_tls;
    m_pool =
        ConnectionPool::create([settings](const Url& url) { return newClient(url, settings, true); }, limits);
}

HttpResponse HttpFetcher::get(const Url& url, const HttpOptions& options, AbortHandle* abort) const
{
    if (url.host.empty())
        return cannotSetUp(url);
    if (abort)
        return ownConnection(url, options, abort, nullptr, nullptr);
    return pooledGet(url, options);
}

HttpResponse HttpFetcher::stream(const Url& url, const HttpOptions& options, AbortHandle& abort,
                                 StatusHandler onStatus, DataHandler onData) const
{
    if (url.host.empty())
        return cannotSetUp(url);
    return ownConnection(url, options, &abort, onStatus, onData);
}

void HttpFetcher::closeIdleConnections() const
{
    m_pool->closeIdle();
}

HttpResponse HttpFetcher::pooledGet(const Url& url, const HttpOptions& options) const
{
    for (bool fresh = false;; fresh = true) {
        ConnectionPool::Lease lease = m_pool->acquire(url, fresh);
        if (!lease.client().is_valid())
            return cannotSetUp(url);
        setTimeouts(lease.client(), options);
        const auto began = std::chrono::steady_clock::now();
        HttpResponse response = exchange(lease.client(), url, options, nullptr, nullptr, nullptr);
        if (response.answered()) {
            lease.release();
            return response;
        }
        // A kept-alive connection the server closed fails at once; one that ran
        // out of time would only fail again.
        const bool timedOut =
            std::chrono::steady_clock::now() - began >= std::chrono::milliseconds(options.readTimeoutMs);
        if (fresh || !lease.reused() || response.failure != HttpResponse::Failure::Network || timedOut)
            return response;
        PVX_INFO("kept-alive connection to %s failed (%s); sending again on a fresh one",
                 url.schemeHostPort().c_str(), response.failureText.c_str());
    }
}

HttpResponse HttpFetcher::ownConnection(const Url& url, const HttpOptions& options, AbortHandle* abort,
                                        const StatusHandler& onStatus, const DataHandler& onData) const
{
    std::unique_ptr<httplib::Client> client = newClient(url, m_tls, false);
    if (!client->is_valid())
        return cannotSetUp(url);
    setTimeouts(*client, options);
    if (abort) {
        if (abort->aborted()) {
            HttpResponse response;
            response.failure = HttpResponse::Failure::Aborted;
            return response;
        }
        client->set_socket_options([abort](int fd) { abort->attachSocket(fd); });
    }
    return exchange(*client, url, options, abort, onStatus, onData);
}

HttpResponse HttpFetcher::getFollowingRedirects(const Url& url, const HttpOptions& options, int maxRedirects,
                                                std::string* finalAddress) const
{
    Url current = url;
    HttpOptions hop = options;
    for (int redirects = 0;; ++redirects) {
        HttpResponse response = get(current, hop);
        if (!response.answered() || !isRedirect(response.status)) {
            if (finalAddress)
                *finalAddress = current.toString();
            return response;
        }
        Url next;
        if (redirects == maxRedirects || !current.resolve(response.location, &next)) {
            PVX_ERROR("redirect from %s not followed (%s)", current.schemeHostPort().c_str(),
                      redirects == maxRedirects ? "too many redirects" : "bad Location");
            response.failure = HttpResponse::Failure::Network;
            response.failureText = "redirect not followed";
            return response;
        }
        // The access token is for the platform's own host, not wherever a
        // redirect points.
        if (!next.sameHost(url))
            hop.bearerToken.clear();
        current = next;
    }
}

} // namespace pavrix
