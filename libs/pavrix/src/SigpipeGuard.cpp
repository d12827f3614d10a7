#include "SigpipeGuard.h"

#include <cerrno>
#include <pthread.h>
#include <time.h>

namespace pavrix {

namespace {

sigset_t pipeOnly()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    return set;
}

bool pipePending()
{
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    return sigismember(&pending, SIGPIPE) == 1;
}

} // namespace

SigpipeGuard::SigpipeGuard()
{
    const sigset_t set = pipeOnly();
    m_wasPending = pipePending();
    pthread_sigmask(SIG_BLOCK, &set, &m_previous);
}

SigpipeGuard::~SigpipeGuard()
{
    if (!m_wasPending && pipePending()) {
        const sigset_t set = pipeOnly();
        const timespec zero{0, 0};
        while (sigtimedwait(&set, nullptr, &zero) == -1 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
}

} // namespace pavrix
