#pragma once

#include <QFuture>
#include <QFutureWatcher>
#include <QObject>

#include <utility>

// Calls `done` with the future's result on the main thread, unless `context` is gone by
// then. (QFuture::then with a context object must not outlive it; this may.) A `done` that
// takes a const reference gets the result itself, not a copy: a list of many rows would be
// copied on the main thread.
template <typename T, typename F>
void whenFinished(QObject *context, const QFuture<T> &future, F &&done)
{
    auto *watcher = new QFutureWatcher<T>(context);
    QObject::connect(watcher, &QFutureWatcher<T>::finished, context,
                     [watcher, done = std::forward<F>(done)]() mutable {
                         watcher->deleteLater();
                         if constexpr (std::is_void_v<T>)
                             done();
                         else {
                             // Taking the result would reset the state every copy of the
                             // future shares, and a wait on one of them would never end.
                             const QFuture<T> future = watcher->future();
                             if (future.resultCount() > 0)
                                 done(*future.constBegin());
                             else
                                 done(future.result()); // throws what the work threw
                         }
                     });
    watcher->setFuture(future);
}
