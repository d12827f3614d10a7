// The live sessions by id. Lookups hand out shared references so that a call
// in progress keeps its session alive while another thread frees it.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace pavrix {

class Session;

class SessionRegistry
{
public:
    std::string add(std::shared_ptr<Session> session);
    std::shared_ptr<Session> find(const std::string& id) const;
    std::shared_ptr<Session> remove(const std::string& id);
    std::vector<std::shared_ptr<Session>> removeAll();
    // Not guessable from one another, so a stale id never reaches a new session.
    static std::string newId();

private:
    mutable std::mutex m_mutex;
    std::map<std::string, std::shared_ptr<Session>> m_sessions;
};

} // namespace pavrix
