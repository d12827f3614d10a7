#include "CallbackSink.h"

namespace pavrix {

CallbackSink::CallbackSink(std::string sessionId, OpenSDK_MessageHandler handler, void* user)
    : m_sessionId(std::move(sessionId)), m_handler(handler), m_handlerUser(user)
{
}

void CallbackSink::setDataCallback(OpenSDK_DataCallBack callback, void* user)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_dataCallback = callback;
    m_dataUser = user;
}

bool CallbackSink::enter()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_closed)
        return false;
    ++m_running[std::this_thread::get_id()];
    return true;
}

void CallbackSink::leave()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_running.find(std::this_thread::get_id());
    if (it != m_running.end() && --it->second == 0)
        m_running.erase(it);
    m_idle.notify_all();
}

void CallbackSink::message(unsigned int type, unsigned int errorCode, const char* text)
{
    OpenSDK_MessageHandler handler;
    void* user;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        handler = m_handler;
        user = m_handlerUser;
    }
    if (!handler || !enter())
        return;
    handler(m_sessionId.c_str(), type, errorCode, text, user);
    leave();
}

void CallbackSink::data(unsigned int type, char* bytes, unsigned int size)
{
    OpenSDK_DataCallBack callback;
    void* user;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        callback = m_dataCallback;
        user = m_dataUser;
    }
    if (!callback || !enter())
        return;
    callback(type, bytes, size, user);
    leave();
}

void CallbackSink::download(OpenSDK_DownloadCallBack callback, void* user, unsigned int event,
                            unsigned int errorCode, long long osdMs, const char* bytes, unsigned int size)
{
    if (!callback || !enter())
        return;
    callback(event, errorCode, osdMs, bytes, size, user);
    leave();
}

bool CallbackSink::close(std::chrono::milliseconds limit)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_closed = true;
    const auto self = std::this_thread::get_id();
    return m_idle.wait_for(lock, limit, [&] {
        return m_running.empty() || (m_running.size() == 1 && m_running.count(self) == 1);
    });
}

bool CallbackSink::isClosed() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_closed;
}

} // namespace pavrix
