#include "exec/ThreadPriority.h"

#include <QSemaphore>
#include <QThreadPool>

#include <memory>

#include <cerrno>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

#ifdef __APPLE__
#include <pthread.h>
#endif

void ThreadPriority::lowerCurrent()
{
    thread_local bool lowered = false;
    if (lowered)
        return;
    lowered = true;
#ifdef __linux__
    // Each thread has a niceness of its own here. A program started nicer than that
    // stays so: with the rights to, setting 10 would raise its threads above it.
    errno = 0;
    const int now = ::getpriority(PRIO_PROCESS, ::gettid());
    if (errno == 0 && now >= kBackgroundNice)
        return;
    ::setpriority(PRIO_PROCESS, ::gettid(), kBackgroundNice);
#elif defined(__APPLE__)
    ::pthread_set_qos_class_self_np(QOS_CLASS_UTILITY, 0);
#endif
}

void ThreadPriority::detachTool()
{
    ::setpgid(0, 0);
    ::signal(SIGTTIN, SIG_IGN);
    ::signal(SIGTTOU, SIG_IGN);
    errno = 0;
    const int now = ::getpriority(PRIO_PROCESS, 0);
    if (errno != 0 || now < kBackgroundNice)
        ::setpriority(PRIO_PROCESS, 0, kBackgroundNice);
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
