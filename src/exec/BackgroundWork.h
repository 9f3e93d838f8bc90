#pragma once

#include <QFuture>
#include <QList>
#include <QMutex>

// The pool work a model has started and that still publishes through it, so the model
// can let it end before it goes away. Safe from any thread.
class BackgroundWork {
public:
    void track(const QFuture<void> &work);
    // Waits for everything tracked, including work tracked while waiting.
    void waitForAll();

private:
    QMutex m_mutex;
    QList<QFuture<void>> m_work;
};
