// The text screen: one 80 x 25 grid of 16-bit cells that every frame is drawn
// into, and the three drawing primitives the effects share. A cell is
// (background * 16 + foreground) * 256 + character, the character being one
// byte of the console code page.
#pragma once
#include <cstdint>

using screen_cell = std::uint16_t;

inline constexpr int screen_width = 80;
inline constexpr int screen_height = 25;
inline constexpr int screen_cells = screen_width * screen_height;

// A new frame every 20 ms, 50 frames a second: the pacing deadline, the
// virtual clocks and the video all step by it.
inline constexpr int frame_ms = 20;
inline constexpr int frames_per_second = 1000 / frame_ms;

// The classic console palette: the red, green and blue of each colour number.
// Truecolor terminal output and the captured pictures both use it.
inline constexpr std::uint8_t console_rgb[16][3] = {
    {0, 0, 0},       {0, 0, 128},     {0, 128, 0},     {0, 128, 128},  // black blue green cyan
    {128, 0, 0},     {128, 0, 128},   {128, 128, 0},   {192, 192, 192},  // red magenta brown light grey
    {128, 128, 128}, {0, 0, 255},     {0, 255, 0},     {0, 255, 255},  // dark grey, light blue green cyan
    {255, 0, 0},     {255, 0, 255},   {255, 255, 0},   {255, 255, 255},  // light red, light magenta, yellow, white
};

// The frame being drawn, row-major (row * 80 + column). Zero at start-up;
// the driver clears it at the top of every frame.
extern screen_cell screen_buffer[screen_cells];

constexpr screen_cell make_cell(std::uint8_t character, int foreground, int background)
{
    return static_cast<screen_cell>(((background * 16 + foreground) << 8) | character);
}

// Sets the whole buffer to 0 (black, character 0).
void clear_screen();

// Stores one cell when 0 <= row <= 24, 0 <= column <= 79 and the character is
// not a space; a space is transparent, whatever its colours.
void put_char(int row, int column, std::uint8_t character, int foreground, int background);

// Draws every character of text but the last, spaces transparent, running on
// linearly past column 79 into the next row. Row outside 0..24: draws nothing,
// returns 0; otherwise returns strlen(text) - 1. The caller keeps the run in the grid.
int draw_string(int row, int column, const char* text, int foreground, int background);

// Plots a straight line through put_char, both end points included; points
// are (column, row). Walked from the end with the smaller major coordinate.
void draw_line(int x0, int y0, int x1, int y1, std::uint8_t character, int foreground,
               int background);
