#pragma once

#include <unknwn.h>

#include <utility>

// Owns one reference to a COM interface and releases it once.
template <typename T> class xComPtr
{
public:
    xComPtr() = default;
    // Takes over a reference the caller already holds.
    explicit xComPtr(T* adopted) : Pointer(adopted) {}
    xComPtr(xComPtr&& other) noexcept : Pointer(std::exchange(other.Pointer, nullptr)) {}
    xComPtr& operator=(xComPtr&& other) noexcept
    {
        if (this != &other)
        {
            Reset();
            Pointer = std::exchange(other.Pointer, nullptr);
        }
        return *this;
    }
    xComPtr(const xComPtr&) = delete;
    xComPtr& operator=(const xComPtr&) = delete;
    ~xComPtr() { Reset(); }

    // Null before Release: a Release that calls back finds the pointer gone.
    void Reset()
    {
        if (T* old = std::exchange(Pointer, nullptr))
            old->Release();
    }
    T* Get() const { return Pointer; }
    T* operator->() const { return Pointer; }
    explicit operator bool() const { return Pointer != nullptr; }
    // For calls that hand out a new reference through an out parameter.
    T** Put()
    {
        Reset();
        return &Pointer;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }

private:
    T* Pointer = nullptr;
};
