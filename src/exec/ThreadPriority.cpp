#include "exec/ThreadPriority.h"

#ifdef __linux__
#include <sys/resource.h>
#include <unistd.h>
#elif defined(__APPLE__)
#include <pthread.h>
#endif

void ThreadPriority::lowerCurrent()
{
    thread_local bool lowered = false;
    if (lowered)
        return;
    lowered = true;
#ifdef __linux__
    // Each thread has a niceness of its own here.
    ::setpriority(PRIO_PROCESS, ::gettid(), kBackgroundNice);
#elif defined(__APPLE__)
    ::pthread_set_qos_class_self_np(QOS_CLASS_UTILITY, 0);
#endif
}
