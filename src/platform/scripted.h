// A platform for tests and benchmarks that drive the scenes by hand: no
// output, every key down, the tick count 0, and a music clock the caller sets.
#pragma once
#include <cstdint>

#include "platform/platform.h"

extern std::int32_t scripted_music_ms;  // what music_time() returns

// The interface; pace returns its deadline at once.
platform_api scripted_platform();
