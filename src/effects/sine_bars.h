// Rotating colour bars: two layers of six full-width bars turning about a
// horizontal axis; bars behind are drawn dark and early, bars in front bright and last.
#pragma once

inline constexpr int bars_layers = 2;
inline constexpr int bars_points = 6;        // point 5 is the newest, 0 the oldest
inline constexpr double bars_angle_step = 0.04;

struct sine_bars_layer {
    double angle;               // radians, one step ahead of point 5 after init
    double row[bars_points];    // 12 + 12.5 * sin
    double depth[bars_points];  // cos; < 0 behind, > 0 in front
};

extern sine_bars_layer sine_bars[bars_layers];  // the program's one set of bars

// Once at start-up per layer: six points from start_angle in accumulated steps.
void bars_init(int layer, double start_angle);
// Once a frame: shift the history, advance, draw the points behind.
void bars_draw_back(int layer);
// Draws the points in front; changes no state.
void bars_draw_front(int layer);
