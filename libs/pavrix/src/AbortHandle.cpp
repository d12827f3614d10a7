#include "AbortHandle.h"

#include <httplib.h>

namespace pavrix {

bool AbortHandle::attach(httplib::Client* client)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_aborted)
        return false;
    m_client = client;
    return true;
}

void AbortHandle::detach()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_client = nullptr;
}

void AbortHandle::abort()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_aborted = true;
    if (m_client)
        m_client->stop();
}

} // namespace pavrix
