#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <atomic>
#include <chrono>
#include <thread>

#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

// A named pipe that hands `content` to whoever opens it for reading. Code that must
// never open a pipe gets the content instead of blocking the test for ever, so the test
// fails rather than hangs.
class FifoFeeder {
public:
    FifoFeeder(const QString &path, const QByteArray &content)
    {
        const QByteArray name = QFile::encodeName(path);
        if (::mkfifo(name.constData(), 0600) != 0)
            qFatal("cannot make the pipe %s", name.constData());
        m_thread = std::thread([this, name, content] {
            // A reader that opens and closes at once (a probe that refuses pipes) leaves
            // the write with nobody to read it: EPIPE, not a signal that ends the test.
            sigset_t pipe;
            sigemptyset(&pipe);
            sigaddset(&pipe, SIGPIPE);
            pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
            bool fed = false;
            while (!m_stop.load()) {
                // Opening for writing without blocking succeeds only while a reader waits.
                const int fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                if (fd >= 0 && !fed &&
                    ::write(fd, content.constData(), size_t(content.size())) == content.size()) {
                    fed = true;
                    ++m_fed;
                }
                if (fd >= 0)
                    ::close(fd);
                else
                    fed = false; // that reader is gone; feed the next one
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
    }
    ~FifoFeeder()
    {
        m_stop = true;
        m_thread.join();
    }
    FifoFeeder(const FifoFeeder &) = delete;
    FifoFeeder &operator=(const FifoFeeder &) = delete;

    int timesRead() const { return m_fed.load(); }

private:
    std::atomic_bool m_stop{false};
    std::atomic_int m_fed{0};
    std::thread m_thread;
};
