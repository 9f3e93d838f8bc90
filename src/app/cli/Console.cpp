#include "app/cli/Console.h"

#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <thread>

#include <sys/time.h>
#include <unistd.h>

namespace {

// What the signal handler may touch: a lock-free flag and plain atomics.
std::atomic_bool *gInterruptFlag = nullptr;
volatile sig_atomic_t gSignal = 0;

void onAlarm(int)
{
    ::_exit(128 + int(gSignal));
}

void onSignal(int signal)
{
    if (gSignal != 0)
        ::_exit(128 + signal);
    gSignal = signal;
    if (gInterruptFlag)
        gInterruptFlag->store(true, std::memory_order_relaxed);
    // Work that checks the flag ends long before; a call blocked on a full pipe or a
    // hung file system is cut short.
    itimerval deadline = {};
    deadline.it_value.tv_usec = 800 * 1000;
    ::setitimer(ITIMER_REAL, &deadline, nullptr);
}

void writeAll(FILE *stream, const QByteArray &bytes)
{
    if (!bytes.isEmpty())
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

} // namespace

Console::Console() : m_progress(::isatty(STDERR_FILENO) == 1)
{
    // The token's own flag: cancelling it is one atomic store.
    gInterruptFlag = const_cast<std::atomic_bool *>(m_interrupt.flag());
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    action.sa_handler = onAlarm;
    ::sigaction(SIGALRM, &action, nullptr);
}

Console::~Console()
{
    clearProgress();
    std::fflush(stdout);
    gInterruptFlag = nullptr;
}

int Console::interruptStatus()
{
    return 128 + (gSignal == 0 ? SIGINT : int(gSignal));
}

void Console::out(const QByteArray &bytes)
{
    writeAll(stdout, bytes);
}

void Console::err(const QByteArray &bytes)
{
    clearProgress();
    std::fflush(stdout);
    writeAll(stderr, bytes);
}

void Console::error(const QByteArray &subject, const QString &message)
{
    err("quillmar-cli: " + (subject.isEmpty() ? QByteArray() : subject + ": ") + message.toUtf8() +
        '\n');
}

void Console::clearProgress()
{
    if (m_lineShown) {
        writeAll(stderr, "\r\033[K");
        std::fflush(stderr);
        m_lineShown = false;
    }
}

void Console::withProgress(const std::function<void()> &work,
                           const std::function<QByteArray()> &status)
{
    if (!m_progress) {
        work();
        return;
    }
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::thread worker([&] {
        work();
        std::lock_guard lock(mutex);
        finished = true;
        done.notify_all();
    });
    std::unique_lock lock(mutex);
    // A quick answer shows no line at all.
    while (!done.wait_for(lock, std::chrono::milliseconds(m_lineShown ? 200 : 300),
                          [&] { return finished; })) {
        writeAll(stderr, "\r\033[K" + status());
        std::fflush(stderr);
        m_lineShown = true;
    }
    lock.unlock();
    worker.join();
    clearProgress();
}

QByteArray Console::humanSize(qint64 bytes)
{
    if (bytes < 1024)
        return QByteArray::number(qMax<qint64>(bytes, 0));
    static const char units[] = "KMGTPE";
    int unit = 0;
    quint64 divisor = 1024;
    while (unit + 1 < 6 && quint64(bytes) >= divisor * 1024) {
        divisor *= 1024;
        ++unit;
    }
    // Tenths, rounded up, while the whole part has one digit.
    const quint64 tenths = (quint64(bytes) * 10 + divisor - 1) / divisor;
    if (tenths < 100)
        return QByteArray::number(tenths / 10) + '.' + QByteArray::number(tenths % 10) +
               units[unit];
    quint64 whole = (quint64(bytes) + divisor - 1) / divisor;
    if (whole >= 1024 && unit + 1 < 6)
        return QByteArray("1.0") + units[unit + 1];
    return QByteArray::number(whole) + units[unit];
}
