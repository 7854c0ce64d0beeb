// The plasma: v = 2 * (2 sin(0.04 (a + r)) + sin(0.04 (b + r)) + sin(0.03 (c0 + x)) + 4)
// for row r and column x, with a, b, c0 the clock in steps of 42 ms, 58 ms and
// a frame (20 ms).
// The column wave moves one column left per frame, the row waves one row up
// each time a or b grows.
#include "effects/plasma.h"

#include <cmath>

#include "render/ascii_render.h"

namespace {

// The single-precision constants, widened: every product and sine is in double.
constexpr double row_factor = static_cast<double>(0.04f);
constexpr double column_factor = static_cast<double>(0.03f);
constexpr std::uint8_t plasma_char = 'O';

}  // namespace

void plasma_frame(std::uint32_t frame_deadline)
{
    const std::uint32_t a = frame_deadline / 42;
    const std::uint32_t b = frame_deadline / 58;
    const std::uint32_t c0 = frame_deadline / frame_ms;

    // The column wave is the same on every row; computing it once per frame
    // gives the same bits as computing it per cell.
    double column_wave[screen_width];
    for (int x = 0; x < screen_width; ++x)
        column_wave[x] = std::sin(column_factor * static_cast<double>(c0 + static_cast<std::uint32_t>(x)));

    for (int r = 0; r < screen_height; ++r) {
        const std::uint32_t ur = static_cast<std::uint32_t>(r);
        const double row_term = 2.0 * std::sin(row_factor * static_cast<double>(a + ur)) +
                                std::sin(row_factor * static_cast<double>(b + ur));
        screen_cell* cells = &screen_buffer[r * screen_width];
        for (int x = 0; x < screen_width; ++x) {
            const double v = 2.0 * (row_term + column_wave[x] + 4.0);
            // v lies in 0..16: the conversion is in range, and the low 8 bits are the attribute.
            const auto attribute = static_cast<std::uint8_t>(static_cast<int>(v));
            cells[x] = static_cast<screen_cell>((attribute << 8) | plasma_char);
        }
    }
}
