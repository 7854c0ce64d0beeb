#include "base/monotonic_clock.h"

#include <windows.h>

std::int64_t monotonic_ns()
{
    // The counter's rate is fixed at boot, so reading it once is enough.
    static const std::int64_t hz = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<std::int64_t>(f.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    // Split so the multiply cannot overflow for a counter of any rate.
    return now.QuadPart / hz * 1000000000 + now.QuadPart % hz * 1000000000 / hz;
}
