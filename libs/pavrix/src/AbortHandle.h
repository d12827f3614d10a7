// Lets another thread cut a request short, including one blocked on a server
// that does not answer: the socket is shut down under the reader's feet.
#pragma once

#include <atomic>
#include <mutex>

namespace httplib {
class Client;
}

namespace pavrix {

class AbortHandle
{
public:
    // Returns false when the request was aborted before it could start.
    bool attach(httplib::Client* client);
    void detach();
    // Safe to call repeatedly: a request still connecting when the first call
    // came only gets a socket to shut down later.
    void abort();
    bool aborted() const { return m_aborted; }

private:
    std::mutex m_mutex;
    httplib::Client* m_client = nullptr;
    std::atomic<bool> m_aborted{false};
};

} // namespace pavrix
