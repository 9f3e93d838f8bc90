#pragma once

#include <QFuture>
#include <QPromise>
#include <QThreadPool>

#include <exception>
#include <memory>
#include <type_traits>
#include <utility>

// Where the program's own background work runs: a pool of its own, apart from Qt's shared
// one. Qt splits the painting of a large area, and the conversion of a large image, over
// its shared pool and the painting thread waits for the pieces; while scans held every
// thread there (at the lowest priority), the window waited behind them for 100 ms at
// launch.
namespace Background {

QThreadPool *pool();

// Runs `work` on the pool; the future carries its result.
template <typename F> auto start(F &&work) -> QFuture<std::invoke_result_t<std::decay_t<F>>>
{
    using R = std::invoke_result_t<std::decay_t<F>>;
    // Shared, so the task stays copyable whatever the work holds.
    auto task = std::make_shared<std::decay_t<F>>(std::forward<F>(work));
    auto promise = std::make_shared<QPromise<R>>();
    QFuture<R> future = promise->future();
    promise->start();
    pool()->start([task, promise] {
        try {
            if constexpr (std::is_void_v<R>)
                (*task)();
            else
                promise->addResult((*task)());
        } catch (...) {
            promise->setException(std::current_exception());
        }
        promise->finish();
    });
    return future;
}

// Destroys `value` on the pool: a list of many rows takes milliseconds to free, which the
// window's thread must not spend. Nothing else may still use it.
template <typename T> void release(T value)
{
    // The task holds the only reference, and the pool deletes the task after running it.
    auto held = std::make_shared<T>(std::move(value));
    pool()->start([held = std::move(held)]() mutable { held.reset(); });
}

} // namespace Background
