// A module-wide setting that a window or a COM call writes while the worker
// reads it: each access is one atomic value with relaxed order, as nothing
// else is ordered by it.
#pragma once

#include <atomic>

template <class T> class Relaxed {
public:
    constexpr Relaxed(T value = T{}) noexcept : m_value(value) {}
    Relaxed(const Relaxed&) = delete;
    Relaxed& operator=(const Relaxed&) = delete;

    operator T() const noexcept { return m_value.load(std::memory_order_relaxed); }
    Relaxed& operator=(T value) noexcept {
        m_value.store(value, std::memory_order_relaxed);
        return *this;
    }
    T Exchange(T value) noexcept { return m_value.exchange(value, std::memory_order_relaxed); }

private:
    std::atomic<T> m_value;
};
