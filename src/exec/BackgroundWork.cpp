#include "exec/BackgroundWork.h"

void BackgroundWork::track(const QFuture<void> &work)
{
    QMutexLocker lock(&m_mutex);
    m_work.removeIf([](const QFuture<void> &f) { return f.isFinished(); });
    m_work.append(work);
}

void BackgroundWork::waitForAll()
{
    for (;;) {
        QList<QFuture<void>> work;
        {
            QMutexLocker lock(&m_mutex);
            work.swap(m_work);
        }
        if (work.isEmpty())
            return;
        for (QFuture<void> &f : work)
            f.waitForFinished();
    }
}
