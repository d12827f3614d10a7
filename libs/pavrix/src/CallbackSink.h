// The host's callbacks of one session. Every call goes through here so that
// closing the session can promise that none runs afterwards, and so that no
// library lock is held while host code runs.
#pragma once

#include "PavrixSDK.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace pavrix {

class CallbackSink
{
public:
    CallbackSink(std::string sessionId, OpenSDK_MessageHandler handler, void* user);

    void setDataCallback(OpenSDK_DataCallBack callback, void* user);
    void message(unsigned int type, unsigned int errorCode, const char* text = nullptr);
    void data(unsigned int type, char* bytes, unsigned int size);
    // A clip download's callback, under the same promise as the others.
    void download(OpenSDK_DownloadCallBack callback, void* user, unsigned int event, unsigned int errorCode,
                  long long osdMs, const char* bytes, unsigned int size);

    // From now on no callback starts. Waits up to limit for the ones running on
    // other threads; a callback of the calling thread (a host closing the session
    // from inside its callback) is not waited for. False when the wait timed out.
    bool close(std::chrono::milliseconds limit);
    bool isClosed() const;
    const std::string& sessionId() const { return m_sessionId; }

private:
    bool enter();
    void leave();

    const std::string m_sessionId;
    mutable std::mutex m_mutex;
    std::condition_variable m_idle;
    bool m_closed = false;
    OpenSDK_MessageHandler m_handler;
    void* m_handlerUser;
    OpenSDK_DataCallBack m_dataCallback = nullptr;
    void* m_dataUser = nullptr;
    std::map<std::thread::id, int> m_running; // thread -> nesting depth
};

} // namespace pavrix
