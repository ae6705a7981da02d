#pragma once

#include <mutex>
#include <utility>

// A value that one thread writes while others read it, for what an atomic
// cannot hold (a text): every access copies under a lock, so a reader never
// sees half a write.
template <typename T> class xLockedValue
{
public:
    xLockedValue() = default;
    explicit xLockedValue(T value) : Value(std::move(value)) {}
    xLockedValue(const xLockedValue&) = delete;
    xLockedValue& operator=(const xLockedValue&) = delete;

    T Get() const
    {
        std::lock_guard<std::mutex> hold(Lock);
        return Value;
    }
    void Set(T value)
    {
        std::lock_guard<std::mutex> hold(Lock);
        Value = std::move(value);
    }

private:
    mutable std::mutex Lock;
    T Value{};
};
