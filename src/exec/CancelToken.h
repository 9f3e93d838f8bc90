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
    // For loops that poll in a hot path without the shared pointer's indirection.
    const std::atomic_bool *flag() const { return m_flag.get(); }

    // The same token: copies of one another.
    friend bool operator==(const CancelToken &a, const CancelToken &b)
    {
        return a.m_flag == b.m_flag;
    }

private:
    std::shared_ptr<std::atomic_bool> m_flag;
};
