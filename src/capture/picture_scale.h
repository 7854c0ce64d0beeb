// The 720 x 400 VGA picture (screen_image.h) on a screen of any size: where
// it goes in a window (4:3 as a VGA monitor showed text, each pixel 20:27,
// letterboxed in black) and its pixels scaled there, sharp. Each output
// pixel is the area of the source it covers: inside one source pixel it is
// that pixel's colour, and only where it straddles the edge of two is it
// their mix, so edges stay one pixel soft at most at any size, where plain
// nearest sampling would draw some rows of a glyph 2 pixels tall and others 3.
// Portable: the window hosts (SDL on Unix, GDI on Windows) share it.
#pragma once
#include <cstdint>

#include "capture/screen_image.h"

// How the picture fills the window.
enum picture_scale {
    scale_fit,      // the largest 4:3 picture that fits
    scale_integer,  // 4:3, its height a whole multiple of 400 lines (else as fit)
    scale_square,   // square pixels, a whole multiple of 720 x 400 (else the largest 9:5 that fits)
};

inline constexpr int scaled_max = 8192;  // the widest and tallest picture drawn, in pixels

// The picture's rectangle in a window, in window pixels.
struct picture_place {
    int x, y;           // top left
    int width, height;  // 1..scaled_max
};

// Where the picture goes in a window of window_width x window_height (each
// at least 1), centred.
picture_place place_picture(picture_scale scale, int window_width, int window_height);

// One output position along an axis: the source pixel it starts in, and how
// much of it (0..256, in 256ths) comes from the next one.
struct picture_tap {
    std::uint16_t first;
    std::uint16_t next_weight;
};

// Taps for one size, made when the window's size changes, and two source
// rows in output colours; never allocated per frame.
struct picture_scaler {
    int width = 0, height = 0;      // the output size
    picture_tap x[scaled_max];
    picture_tap y[scaled_max];
    std::uint32_t row[2][scaled_max];  // two source rows scaled across
    int row_source[2];                  // the source row each holds, -1: none
};

// Prepares scaler for pictures of width x height (1..scaled_max each).
void scaler_init(picture_scaler& scaler, int width, int height);

// Scales pixels (image_pixels colour numbers, screen_image.h) into out:
// scaler.height rows of scaler.width 32-bit pixels, pitch bytes apart; a
// colour number c becomes colours[c] (0x00RRGGBB, or any layout with 8 bits
// a channel) and mixes are made channel by channel.
void scale_picture(picture_scaler& scaler, const std::uint8_t* pixels, const std::uint32_t* colours,
                   std::uint32_t* out, int pitch);
