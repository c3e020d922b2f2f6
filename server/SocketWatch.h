// Waiting on a socket without blocking the caller's event loop: the core says which socket
// it waits for and how, the loop calls back when it is ready. The windows watch through
// their event loop; unattended runs and tests through poll().
#pragma once

#include <functional>

class ISocketWatch {
public:
    enum class Wait { Readable, Writable };
    // How a watch ended: the socket ready, the watch out of time, or the user gave up.
    enum class Outcome { Ready, TimedOut, Cancelled };
    // Called once.
    using Ready = std::function<void(Outcome outcome)>;

    virtual ~ISocketWatch() = default;
    // Calls ready once fd is readable or writable as asked. One watch at a time: ready may
    // start the next one.
    virtual void Watch(int fd, Wait wait, Ready ready) = 0;
};

// A watch that lasts: readable is called each time fd has something to read, until Stop or
// the next Start. For a connection that listens to the server's notifications.
class IReadableWatch {
public:
    virtual ~IReadableWatch() = default;
    virtual void Start(int fd, std::function<void()> readable) = 0;
    virtual void Stop() = 0;
};

// The watch for runs without an event loop: Run() polls until nothing is watched, and gives
// up on a watch timeoutMs after Run() began.
class CPollSocketWatch : public ISocketWatch {
public:
    explicit CPollSocketWatch(int timeoutMs) : m_timeoutMs(timeoutMs) {}
    void Watch(int fd, Wait wait, Ready ready) override;
    void Run();

private:
    int m_timeoutMs;
    int m_fd = -1;
    Wait m_wait = Wait::Readable;
    Ready m_ready;
};
