// The sine bars: each layer keeps its last six positions on a circle seen
// edge-on; a position's row is the sine, its depth the cosine. Each point is
// drawn as a full-width band of '8' on its own colour.
#include "effects/sine_bars.h"

#include <cmath>

#include "base/process_exit.h"
#include "render/ascii_render.h"

sine_bars_layer sine_bars[bars_layers];

namespace {

constexpr double bars_middle_row = 12.0;
constexpr double bars_radius = 12.5;
constexpr std::uint8_t bar_char = '8';
constexpr double half_turn = 3.141592653589793;

// Oldest two points red, then green, then blue; foreground = background.
constexpr std::uint8_t behind_attribute[bars_points] = {0x44, 0x44, 0x22, 0x22, 0x11, 0x11};
constexpr std::uint8_t front_attribute[bars_points] = {0xCC, 0xCC, 0xAA, 0xAA, 0x99, 0x99};

void place_point(sine_bars_layer& bars, int point, double angle)
{
    bars.row[point] = std::sin(angle) * bars_radius + bars_middle_row;
    bars.depth[point] = std::cos(angle);
}

// Fills screen row trunc(row) when it is 0..24; a row in (-1, 0) truncates to
// row 0 and is drawn there. The test on the double also keeps NaN out.
void fill_row(double row, std::uint8_t attribute)
{
    if (!(row > -1.0 && row < screen_height)) return;
    const int r = static_cast<int>(row);
    const auto cell = static_cast<screen_cell>((attribute << 8) | bar_char);
    for (int c = 0; c < screen_width; ++c) screen_buffer[r * screen_width + c] = cell;
}

sine_bars_layer& layer_at(int layer)
{
    GLIM_ASSERT(layer >= 0 && layer < bars_layers);
    return sine_bars[layer];
}

}  // namespace

void bars_init(int layer, double start_angle)
{
    sine_bars_layer& bars = layer_at(layer);
    // Repeated addition, not start + i * step: the rounding of the sum is the bars' own.
    double angle = start_angle;
    for (int i = 0; i < bars_points; ++i) {
        place_point(bars, i, angle);
        angle += bars_angle_step;
    }
    bars.angle = angle;
}

void bars_reset()
{
    bars_init(0, 0.0);
    bars_init(1, half_turn);
}

void bars_draw_back(int layer)
{
    sine_bars_layer& bars = layer_at(layer);
    for (int i = 0; i < bars_points - 1; ++i) {
        bars.row[i] = bars.row[i + 1];
        bars.depth[i] = bars.depth[i + 1];
    }
    bars.angle += bars_angle_step;
    place_point(bars, bars_points - 1, bars.angle);

    // A depth of exactly 0 (or NaN) is neither behind nor in front: never drawn.
    for (int i = 0; i < bars_points; ++i)
        if (bars.depth[i] < 0.0) fill_row(bars.row[i], behind_attribute[i]);
}

void bars_draw_front(int layer)
{
    const sine_bars_layer& bars = layer_at(layer);
    for (int i = 0; i < bars_points; ++i)
        if (bars.depth[i] > 0.0) fill_row(bars.row[i], front_attribute[i]);
}
