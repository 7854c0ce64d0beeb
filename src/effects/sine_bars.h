// Rotating colour bars: two layers of six full-width bars turning about a
// horizontal axis; bars behind are drawn dark and early, bars in front bright and last.
#pragma once

inline constexpr int bars_layers = 2;
inline constexpr int bars_points = 6;        // point 5 is the newest, 0 the oldest
inline constexpr double bars_angle_step = 0.04;

struct sine_bars_layer {
    double angle;               // radians, one step ahead of point 5 after init
    double row[bars_points];    // 12 + 12.5 * sin, -0.5 .. 24.5
    double depth[bars_points];  // cos; < 0 behind, > 0 in front, exactly 0 nowhere
};

extern sine_bars_layer sine_bars[bars_layers];  // the program's one set of bars

// Once at start-up per layer (0 or 1): point i at start_angle plus i steps,
// the steps added one at a time; the angle ends six steps past the start.
void bars_init(int layer, double start_angle);
// Both layers as at start-up: layer 0 from angle 0, layer 1 from half a turn
// on (it starts behind). At start-up and whenever the show re-runs.
void bars_reset();
// Once a frame, before the middle layer: shift the history one point older,
// advance the angle one step into point 5, fill the rows of the points behind.
void bars_draw_back(int layer);
// After the middle layer: fill the rows of the points in front; changes no state.
void bars_draw_front(int layer);
