#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

struct LoggedRequest
{
    int64_t timeMs = 0;
    std::string method;
    std::string path;
    std::string query;
    std::vector<std::pair<std::string, std::string>> headers; // in received order
    std::string body;
};

// The last requests per path, so tests can assert exactly what a client sent.
class RequestLog
{
public:
    void add(LoggedRequest request);
    std::vector<LoggedRequest> recent(const std::string& path, size_t limit) const;
    std::vector<std::string> paths() const;
    void clear();

private:
    static const size_t kPerPath = 100;
    mutable std::mutex m_mutex;
    std::map<std::string, std::deque<LoggedRequest>> m_byPath;
};
