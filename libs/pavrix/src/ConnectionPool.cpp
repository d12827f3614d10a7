#include "ConnectionPool.h"

#include "Url.h"

#include <httplib.h>

namespace pavrix {

ConnectionPool::Lease::Lease(std::shared_ptr<ConnectionPool> pool, std::string origin,
                             std::unique_ptr<httplib::Client> client)
    : m_pool(std::move(pool)), m_origin(std::move(origin)), m_client(std::move(client))
{
}

ConnectionPool::Lease::Lease(Lease&& other) noexcept
    : m_pool(std::move(other.m_pool)), m_origin(std::move(other.m_origin)),
      m_client(std::move(other.m_client)), m_reused(other.m_reused)
{
}

ConnectionPool::Lease::~Lease()
{
    if (m_pool)
        m_pool->giveBack(m_origin, std::move(m_client), false);
}

void ConnectionPool::Lease::release()
{
    if (m_pool)
        m_pool->giveBack(m_origin, std::move(m_client), true);
    m_pool.reset();
}

std::shared_ptr<ConnectionPool> ConnectionPool::create(Factory factory, Limits limits)
{
    if (limits.perOrigin == 0)
        limits.perOrigin = 1;
    return std::shared_ptr<ConnectionPool>(new ConnectionPool(std::move(factory), limits));
}

ConnectionPool::ConnectionPool(Factory factory, Limits limits)
    : m_factory(std::move(factory)), m_limits(limits)
{
}

ConnectionPool::~ConnectionPool() = default;

void ConnectionPool::takeExpired(Closing* closing)
{
    const auto now = std::chrono::steady_clock::now();
    for (auto it = m_origins.begin(); it != m_origins.end();) {
        std::deque<Idle>& idle = it->second.idle;
        while (!idle.empty() && idle.front().since + m_limits.idleExpiry <= now) {
            closing->push_back(std::move(idle.front().client));
            idle.pop_front();
        }
        if (it->second.busy == 0 && idle.empty())
            it = m_origins.erase(it);
        else
            ++it;
    }
}

ConnectionPool::Lease ConnectionPool::acquire(const Url& url, bool fresh)
{
    const std::string origin = url.schemeHostPort();
    Closing closing;
    std::unique_ptr<httplib::Client> client;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            takeExpired(&closing);
            Origin& slot = m_origins[origin];
            if (!fresh && !slot.idle.empty()) {
                // The most recently used: the likeliest to be open still.
                client = std::move(slot.idle.back().client);
                slot.idle.pop_back();
                ++slot.busy;
                break;
            }
            if (!slot.idle.empty() && slot.busy + slot.idle.size() >= m_limits.perOrigin) {
                closing.push_back(std::move(slot.idle.front().client)); // room for the fresh one
                slot.idle.pop_front();
            }
            if (slot.busy + slot.idle.size() < m_limits.perOrigin) {
                ++slot.busy;
                break;
            }
            m_freed.wait(lock);
        }
    }
    closing.clear(); // TLS shutdown writes: outside the lock
    const bool reused = client && client->is_socket_open();
    if (!client) {
        try {
            client = m_factory(url);
        } catch (...) {
            giveBack(origin, nullptr, false);
            throw;
        }
    }
    Lease lease(shared_from_this(), origin, std::move(client));
    lease.m_reused = reused;
    return lease;
}

void ConnectionPool::giveBack(const std::string& origin, std::unique_ptr<httplib::Client> client, bool keep)
{
    Closing closing;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        Origin& slot = m_origins[origin];
        --slot.busy;
        if (keep && client)
            slot.idle.push_back({std::move(client), std::chrono::steady_clock::now()});
        takeExpired(&closing);
    }
    m_freed.notify_all();
}

void ConnectionPool::closeIdle()
{
    Closing closing;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto& entry : m_origins) {
            for (Idle& idle : entry.second.idle)
                closing.push_back(std::move(idle.client));
            entry.second.idle.clear();
        }
        takeExpired(&closing); // drops the emptied origins
    }
    m_freed.notify_all();
}

} // namespace pavrix
