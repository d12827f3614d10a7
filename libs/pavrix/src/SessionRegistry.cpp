#include "SessionRegistry.h"

#include "Session.h"

#include <atomic>
#include <cstdio>
#include <random>

namespace pavrix {

std::string SessionRegistry::newId()
{
    static std::atomic<unsigned> counter{0};
    thread_local std::mt19937_64 random{std::random_device{}()};
    char text[40];
    std::snprintf(text, sizeof text, "%08x%016llx", ++counter, static_cast<unsigned long long>(random()));
    return text;
}

std::string SessionRegistry::add(std::shared_ptr<Session> session)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const std::string id = session->id();
    m_sessions[id] = std::move(session);
    return id;
}

std::shared_ptr<Session> SessionRegistry::find(const std::string& id) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_sessions.find(id);
    return it == m_sessions.end() ? nullptr : it->second;
}

std::shared_ptr<Session> SessionRegistry::remove(const std::string& id)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_sessions.find(id);
    if (it == m_sessions.end())
        return nullptr;
    auto session = std::move(it->second);
    m_sessions.erase(it);
    return session;
}

std::vector<std::shared_ptr<Session>> SessionRegistry::removeAll()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::shared_ptr<Session>> all;
    for (auto& entry : m_sessions)
        all.push_back(std::move(entry.second));
    m_sessions.clear();
    return all;
}

} // namespace pavrix
