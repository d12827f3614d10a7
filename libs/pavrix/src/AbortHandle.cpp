#include "AbortHandle.h"

#include <sys/socket.h>
#include <unistd.h>

namespace pavrix {

void AbortHandle::attachSocket(int fd)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = ::dup(fd);
    if (m_aborted && m_fd >= 0)
        ::shutdown(m_fd, SHUT_RDWR);
}

void AbortHandle::detach()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

void AbortHandle::abort()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_aborted = true;
    if (m_fd >= 0)
        ::shutdown(m_fd, SHUT_RDWR);
}

} // namespace pavrix
