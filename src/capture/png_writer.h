// PNG files of captured frames: 8-bit RGB, no interlace, zlib-compressed.
#pragma once
#include <cstdint>

// Writes the image (width x height pixels, three bytes each, rows top first)
// to path, whole or not at all. False, with one line in why (size bytes),
// when the file cannot be written.
bool png_write(const char* path, const std::uint8_t* rgb, int width, int height, char* why, int size);
