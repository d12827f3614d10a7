#include "RequestLog.h"

#include <algorithm>

void RequestLog::add(LoggedRequest request)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto& queue = m_byPath[request.path];
    queue.push_back(std::move(request));
    while (queue.size() > kPerPath)
        queue.pop_front();
}

std::vector<LoggedRequest> RequestLog::recent(const std::string& path, size_t limit) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_byPath.find(path);
    if (it == m_byPath.end())
        return {};
    size_t n = std::min(limit, it->second.size());
    return std::vector<LoggedRequest>(it->second.end() - static_cast<long>(n), it->second.end());
}

std::vector<std::string> RequestLog::paths() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::string> out;
    for (const auto& entry : m_byPath)
        out.push_back(entry.first);
    return out;
}

void RequestLog::clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_byPath.clear();
}
