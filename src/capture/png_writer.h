// PNG files of captured frames: 8-bit palette colour, no interlace.
#pragma once
#include <cstdint>

// Writes the image (width x height pixels, each an index into the 16 colours
// of palette, red green blue; rows top first) to path, whole or not at all.
// False, with one line in why (size bytes), when the file cannot be written.
bool png_write(const char* path, const std::uint8_t* pixels, int width, int height,
               const std::uint8_t (*palette)[3], char* why, int size);
