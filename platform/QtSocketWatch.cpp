#include "platform/QtSocketWatch.h"

#include <utility>

CQtSocketWatch::CQtSocketWatch(int timeoutMs) : m_deadline(timeoutMs) {
    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { End(Outcome::TimedOut); });
    for (QSocketNotifier* n : {&m_readable, &m_writable})
        QObject::connect(n, &QSocketNotifier::activated, n, [this] { End(Outcome::Ready); });
}

void CQtSocketWatch::Watch(int fd, Wait wait, Ready ready) {
    m_ready = std::move(ready);
    // libpq may have closed the last socket and made another under the same number.
    QSocketNotifier& n = wait == Wait::Readable ? m_readable : m_writable;
    n.setSocket(fd);
    n.setEnabled(true);
    m_timer.start(static_cast<int>(m_deadline.remainingTime()));
}

void CQtSocketWatch::End(Outcome outcome) {
    if (!m_ready) return;
    // Quiet before the call: ready may close the socket or start the next watch.
    m_readable.setEnabled(false);
    m_writable.setEnabled(false);
    m_timer.stop();
    Ready ready = std::exchange(m_ready, nullptr);
    ready(outcome);
}
