// The one monotonic clock every backend reads: the tick count, the pacing
// wait, the music clock and the recording's event times all come from it.
// monotonic_clock_posix.cpp on Unix, monotonic_clock_win.cpp on Windows.
#pragma once
#include <cstdint>

// Nanoseconds since an arbitrary start; never goes back, keeps counting
// while the process is stopped.
std::int64_t monotonic_ns();
