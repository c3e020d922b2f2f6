#include "server/SocketWatch.h"

#include <poll.h>

#include <cerrno>
#include <chrono>
#include <utility>

void CPollSocketWatch::Watch(int fd, Wait wait, Ready ready) {
    m_fd = fd;
    m_wait = wait;
    m_ready = std::move(ready);
}

void CPollSocketWatch::Run() {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(m_timeoutMs);
    while (m_ready) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd p{m_fd, static_cast<short>(m_wait == Wait::Readable ? POLLIN : POLLOUT), 0};
        int n = 0;
        if (left.count() > 0) {
            n = ::poll(&p, 1, static_cast<int>(left.count()));
            if (n < 0 && errno == EINTR) continue;
        }
        // The callback may start the next watch.
        Ready ready = std::exchange(m_ready, nullptr);
        // An error or hang-up on the socket is for libpq to find out and report.
        ready(n == 0 ? Outcome::TimedOut : Outcome::Ready);
    }
}
