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

CQtReadableWatch::CQtReadableWatch() {
    m_notifier.setEnabled(false);
    QObject::connect(&m_notifier, &QSocketNotifier::activated, &m_notifier, [this] {
        // A copy: the call may stop or restart the watch.
        if (std::function<void()> readable = m_readable) readable();
    });
}

void CQtReadableWatch::Start(int fd, std::function<void()> readable) {
    Stop();
    if (fd < 0) return;
    m_readable = std::move(readable);
    m_notifier.setSocket(fd);
    m_notifier.setEnabled(true);
}

void CQtReadableWatch::Stop() {
    // Before the socket closes: a notifier left on a closed number would fire on another's.
    m_notifier.setEnabled(false);
    m_readable = nullptr;
}
