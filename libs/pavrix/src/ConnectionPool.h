// Kept-alive HTTP(S) connections per origin (scheme, host and port), as client
// libraries keep them: each connection carries one exchange at a time, at most
// a fixed number per origin exist at once, and idle ones close after a while.
// A request for a busy origin waits for one of its connections; the pool's lock
// is held only to hand connections out and take them back, never during I/O.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace httplib {
class Client;
}

namespace pavrix {

class Url;

class ConnectionPool : public std::enable_shared_from_this<ConnectionPool>
{
public:
    struct Limits
    {
        std::size_t perOrigin = 6;
        std::chrono::milliseconds idleExpiry{30000};
    };
    // Makes an unconnected client for the origin, TLS set up; it connects on first use.
    using Factory = std::function<std::unique_ptr<httplib::Client>(const Url& origin)>;

    static std::shared_ptr<ConnectionPool> create(Factory factory, Limits limits);
    ~ConnectionPool();

    // One connection, exclusively. Unless released after a complete exchange,
    // it is closed when the lease ends.
    class Lease
    {
    public:
        Lease(Lease&& other) noexcept;
        Lease& operator=(Lease&&) = delete;
        ~Lease();

        httplib::Client& client() { return *m_client; }
        // The connection was open before this lease: the server may have
        // closed it meanwhile without our having seen it.
        bool reused() const { return m_reused; }
        void release();

    private:
        friend class ConnectionPool;
        Lease(std::shared_ptr<ConnectionPool> pool, std::string origin,
              std::unique_ptr<httplib::Client> client);

        std::shared_ptr<ConnectionPool> m_pool;
        std::string m_origin;
        std::unique_ptr<httplib::Client> m_client;
        bool m_reused = false;
    };

    // fresh: a new connection even when an idle one is there.
    Lease acquire(const Url& url, bool fresh = false);
    void closeIdle();

private:
    struct Idle
    {
        std::unique_ptr<httplib::Client> client;
        std::chrono::steady_clock::time_point since;
    };
    struct Origin
    {
        std::size_t busy = 0;
        std::deque<Idle> idle; // oldest first
    };
    using Closing = std::vector<std::unique_ptr<httplib::Client>>;

    ConnectionPool(Factory factory, Limits limits);
    void giveBack(const std::string& origin, std::unique_ptr<httplib::Client> client, bool keep);
    // Under the lock; the clients are closed by the caller after unlocking.
    void takeExpired(Closing* closing);

    Factory m_factory;
    Limits m_limits;
    std::mutex m_mutex;
    std::condition_variable m_freed;
    std::map<std::string, Origin> m_origins;
};

} // namespace pavrix
