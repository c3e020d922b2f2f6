// The windows' socket watch: the event loop says when the socket is ready, so the window
// repaints and its timers run while a connection is being made.
#pragma once

#include <QDeadlineTimer>
#include <QSocketNotifier>
#include <QTimer>

#include "server/SocketWatch.h"

class CQtSocketWatch : public ISocketWatch {
public:
    // Gives up on a watch timeoutMs after the watch object was made.
    explicit CQtSocketWatch(int timeoutMs);
    CQtSocketWatch(const CQtSocketWatch&) = delete;
    CQtSocketWatch& operator=(const CQtSocketWatch&) = delete;

    void Watch(int fd, Wait wait, Ready ready) override;
    // The watch waiting now ends as Cancelled.
    void Cancel() { End(Outcome::Cancelled); }
    bool Waiting() const { return static_cast<bool>(m_ready); }

private:
    void End(Outcome outcome);

    QDeadlineTimer m_deadline;
    // Members, so nothing calls back once the watch is gone; disabled, never deleted, in
    // their own signal.
    QSocketNotifier m_readable{QSocketNotifier::Read};
    QSocketNotifier m_writable{QSocketNotifier::Write};
    QTimer m_timer;
    Ready m_ready;
};

// The lasting watch of a listening connection: a notifier that stays until Stop.
class CQtReadableWatch : public IReadableWatch {
public:
    CQtReadableWatch();
    CQtReadableWatch(const CQtReadableWatch&) = delete;
    CQtReadableWatch& operator=(const CQtReadableWatch&) = delete;

    void Start(int fd, std::function<void()> readable) override;
    void Stop() override;

private:
    // A member, so nothing calls back once the watch is gone.
    QSocketNotifier m_notifier{QSocketNotifier::Read};
    std::function<void()> m_readable;
};
