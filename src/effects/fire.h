// The fire: a 240 x 50 heat field, blurred and moved up one row a frame, fed
// by random sparks on its bottom row; each 3 x 2 block is drawn as one cell.
#pragma once
#include <cstdint>

#include "render/ascii_pictures.h"

inline constexpr int fire_width = 240;   // field columns, 3 per text column
inline constexpr int fire_height = 50;   // field rows, 2 per text row; row 49 is the spark row
inline constexpr int fire_palette_size = 26;

extern std::uint8_t fire_field[fire_height * fire_width];  // row-major heat, 0 cold .. 255
extern double fire_decay;         // added to every blur divisor; may go negative
extern double fire_decay_target;  // what fire_decay moves towards
extern double fire_decay_step;    // subtracted per frame while short of the target
extern std::int32_t fire_sparks_off;  // non-zero: no new sparks
extern const std::uint8_t* fire_palette;  // attribute per heat level 0..25
extern const std::uint8_t fire_stored_palette[fire_palette_size];

// Zeroes the field, seeds the random generator with tick_count and sets the
// default decay (1.2, target 0.25, step 0.002). Once, at start-up.
void fire_init(std::uint32_t tick_count);
// Sets every block of the picture's cells equal to character to heat.
void fire_stamp_picture(const ascii_picture& picture, std::uint8_t heat, std::uint8_t character);
// One frame: move the decay, blur and rise, sparks, draw hot blocks.
void fire_frame();
void fire_set_decay(double decay, double target, double step);
void fire_set_sparks(int off);
void fire_set_palette(const std::uint8_t* table);
