// A fixed-size vector of floats, copied by value. The program uses n = 3 for
// points and positions (x, y, z in that order).
#pragma once
#include <cstddef>

#include "base/process_exit.h"

template <int n>
struct vector {
    float elems[n];  // components in order; x, y, z for n = 3

    constexpr vector() : elems{} {}
    constexpr vector(float x, float y, float z)
        requires(n == 3)
        : elems{x, y, z}
    {
    }

    // Component i; stops the program with "i < n" when i is out of range
    // (a negative index converts to a large unsigned one and fails too).
    float operator[](std::size_t i) const
    {
        GLIM_ASSERT(i < n);
        return elems[i];
    }
    float& operator[](std::size_t i)
    {
        GLIM_ASSERT(i < n);
        return elems[i];
    }
};
