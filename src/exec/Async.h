#pragma once

#include <QFuture>
#include <QFutureWatcher>
#include <QObject>

#include <utility>

// Calls `done` with the future's result on the main thread, unless `context` is gone by
// then. (QFuture::then with a context object must not outlive it; this may.)
template <typename T, typename F>
void whenFinished(QObject *context, const QFuture<T> &future, F &&done)
{
    auto *watcher = new QFutureWatcher<T>(context);
    QObject::connect(watcher, &QFutureWatcher<T>::finished, context,
                     [watcher, done = std::forward<F>(done)]() mutable {
                         watcher->deleteLater();
                         if constexpr (std::is_void_v<T>)
                             done();
                         else
                             done(watcher->result());
                     });
    watcher->setFuture(future);
}
