#include "FaultTable.h"

void FaultTable::set(const std::string& path, const Fault& fault)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults[path] = fault;
}

bool FaultTable::clear(const std::string& path)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_faults.erase(path) > 0;
}

void FaultTable::reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults.clear();
}

bool FaultTable::take(const std::string& path, Fault& out)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto found = m_faults.find(path);
    if (found == m_faults.end()) {
        for (auto it = m_faults.begin(); it != m_faults.end(); ++it) {
            const std::string& key = it->first;
            if (!key.empty() && key.back() == '*' &&
                path.compare(0, key.size() - 1, key, 0, key.size() - 1) == 0) {
                found = it;
                break;
            }
        }
    }
    if (found == m_faults.end())
        return false;
    out = found->second;
    if (found->second.remaining > 0 && --found->second.remaining == 0)
        m_faults.erase(found);
    return true;
}
