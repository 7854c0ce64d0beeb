#include "platform/scripted.h"

std::int32_t scripted_music_ms = 0;

namespace {
std::uint32_t zero_ticks() { return 0; }
bool yes() { return true; }
std::uint32_t same(std::uint32_t deadline) { return deadline; }
void no_present(const screen_cell*, int, int) {}
int started(const char*) { return 1; }
std::int32_t scripted_time() { return scripted_music_ms; }
void nothing() {}
}  // namespace

platform_api scripted_platform()
{
    return platform_api{zero_ticks, yes, yes, same, no_present, started, scripted_time, nothing,
                        nullptr,    nullptr, nullptr};
}
