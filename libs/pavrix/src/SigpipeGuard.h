// A peer that vanishes mid-request must not kill the host with SIGPIPE (TLS
// writes go through write(), which raises it). While a guard lives, SIGPIPE is
// blocked on this thread; one raised meanwhile is taken back before unblocking.
#pragma once

#include <signal.h>

namespace pavrix {

class SigpipeGuard
{
public:
    SigpipeGuard();
    ~SigpipeGuard();
    SigpipeGuard(const SigpipeGuard&) = delete;
    SigpipeGuard& operator=(const SigpipeGuard&) = delete;

private:
    sigset_t m_previous;
    bool m_wasPending = false;
};

} // namespace pavrix
