#pragma once

#include <atomic>
#include <memory>

// A flag shared by the one who starts a piece of work and the work itself. Copies share
// the flag; a default-made token is never cancelled unless someone cancels it.
class CancelToken {
public:
    CancelToken() : m_flag(std::make_shared<std::atomic_bool>(false)) {}

    void cancel() const { m_flag->store(true, std::memory_order_relaxed); }
    bool isCancelled() const { return m_flag->load(std::memory_order_relaxed); }

private:
    std::shared_ptr<std::atomic_bool> m_flag;
};
