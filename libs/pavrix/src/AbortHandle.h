// Lets another thread cut a request short, including one blocked connecting to
// or reading from a server that does not answer: the socket is shut down under
// the reader's feet. The HTTP client's own stop waits for a connection attempt
// to finish, so the handle keeps a duplicate of the socket instead.
#pragma once

#include <atomic>
#include <mutex>

namespace pavrix {

class AbortHandle
{
public:
    AbortHandle() = default;
    ~AbortHandle() { detach(); }
    AbortHandle(const AbortHandle&) = delete;
    AbortHandle& operator=(const AbortHandle&) = delete;

    // Called with each new socket of the request.
    void attachSocket(int fd);
    // After the request: the duplicate is closed.
    void detach();
    // Safe to call repeatedly and from any thread.
    void abort();
    bool aborted() const { return m_aborted; }

private:
    std::mutex m_mutex;
    int m_fd = -1; // our duplicate: the number cannot be reused under us
    std::atomic<bool> m_aborted{false};
};

} // namespace pavrix
