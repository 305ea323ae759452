// A fixed-length array that owns its storage.
#pragma once

#include <new>

template <class T>
class Array {
public:
    // Storage for exactly n elements, which start without values.
    explicit Array(unsigned int n) : start(new (std::nothrow) T[n]) { _init(n); }
    Array(Array const&) = delete;
    Array& operator=(Array const&) = delete;
    ~Array() { delete[] start; }

    void _init(unsigned int n)
    {
        if (!start)
            throw std::bad_alloc();
        end = start + n;
    }

    T* start = nullptr;
    T* end = nullptr;
};
