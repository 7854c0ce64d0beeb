// The built-in score, silent until its synthesiser is written.
#include "platform/score.h"

#include <cstring>

std::uint32_t score_length_frames() { return 158u * score_rate; }

void score_reset() {}

void score_render(std::int16_t* out, std::uint32_t frames)
{
    std::memset(out, 0, static_cast<std::size_t>(frames) * 2 * sizeof(std::int16_t));
}
