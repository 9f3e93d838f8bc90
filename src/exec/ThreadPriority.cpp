#include "exec/ThreadPriority.h"

#include <QSemaphore>
#include <QThreadPool>

#include <memory>

#include <cerrno>
#include <csignal>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#ifdef __APPLE__
#include <pthread.h>
#endif

namespace {

#ifdef __linux__
// Sets a thread's time slice (0: the kernel's own); the call sets the niceness too, so it
// is given the one the thread has. Threads and processes inherit the slice from the one
// that starts them. Async-signal-safe.
void setSlice(pid_t thread, int nice, quint64 nanoseconds)
{
    // sched_attr as the kernel reads it; glibc 2.36 has no wrapper.
    struct {
        quint32 size;
        quint32 policy;
        quint64 flags;
        qint32 nice;
        quint32 priority;
        quint64 runtime; // a normal thread's slice
        quint64 deadline;
        quint64 period;
    } attributes{};
    attributes.size = sizeof attributes;
    attributes.policy = SCHED_OTHER;
    attributes.nice = nice;
    attributes.runtime = nanoseconds;
    // Kernels before 6.12 ignore the slice; nothing else changes.
    ::syscall(SYS_sched_setattr, thread, &attributes, 0);
}
#endif

// A thread or process started nicer than the background stays so: with the rights to,
// setting it would raise it above where it was put.
void lowerToBackground(id_t who)
{
    errno = 0;
    int nice = ::getpriority(PRIO_PROCESS, who);
    if (errno != 0 || nice < ThreadPriority::kBackgroundNice) {
        ::setpriority(PRIO_PROCESS, who, ThreadPriority::kBackgroundNice);
        nice = ThreadPriority::kBackgroundNice;
    }
#ifdef __linux__
    // The window's short slice, should it have come from the thread that started this one,
    // would let background work cut in as readily as the window.
    setSlice(pid_t(who), nice, 0);
#endif
}

} // namespace

void ThreadPriority::lowerCurrent()
{
    thread_local bool lowered = false;
    if (lowered)
        return;
    lowered = true;
#ifdef __linux__
    // Each thread has a niceness of its own here.
    lowerToBackground(id_t(::gettid()));
#elif defined(__APPLE__)
    ::pthread_set_qos_class_self_np(QOS_CLASS_UTILITY, 0);
#endif
}

void ThreadPriority::favourCurrent()
{
#ifdef __linux__
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, 0);
    if (errno == 0)
        setSlice(0, nice, 500'000);
#endif
}

void ThreadPriority::detachTool()
{
    ::setpgid(0, 0);
    ::signal(SIGTTIN, SIG_IGN);
    ::signal(SIGTTOU, SIG_IGN);
    lowerToBackground(0);
}

void ThreadPriority::lowerPool(QThreadPool &pool)
{
    // Its threads, once lowered, stay.
    static QThreadPool *done = nullptr;
    if (done == &pool)
        return;
    done = &pool;
    // Each thread lowers itself while every other one is held busy, so none is left out;
    // work already running keeps its thread only a moment. The semaphores outlive this
    // call: a thread may still be leaving its wait.
    pool.setExpiryTimeout(-1);
    const int count = pool.maxThreadCount();
    const auto lowered = std::make_shared<QSemaphore>();
    const auto release = std::make_shared<QSemaphore>();
    for (int i = 0; i < count; ++i) {
        pool.start([lowered, release] {
            lowerCurrent();
            lowered->release();
            release->acquire();
        });
    }
    lowered->tryAcquire(count, 1000);
    release->release(count);
}
