// The fire: a 240 x 50 heat field, blurred and moved up one row a frame, fed
// by random sparks on its bottom row; each 3 x 2 block is drawn as one cell.
// There is one fire; its state is global and carries over from scene to scene.
#pragma once
#include <cstdint>

#include "render/ascii_pictures.h"

inline constexpr int fire_width = 240;   // field columns, 3 per text column
inline constexpr int fire_height = 50;   // field rows, 2 per text row; row 49 is the spark row
inline constexpr int fire_palette_size = 26;  // heat levels 0..25 (average heat / 10)

// Row-major heat (row * 240 + column), 0 cold .. 255; the banner burn writes it too.
extern std::uint8_t fire_field[fire_height * fire_width];
extern double fire_decay;         // added to every blur divisor; may go negative
extern double fire_decay_target;  // what fire_decay moves towards
extern double fire_decay_step;    // subtracted per frame while short of the target
extern std::int32_t fire_sparks_off;  // non-zero: no new sparks
extern const std::uint8_t* fire_palette;  // attribute per heat level 0..25
// Level 0 never drawn, 1 red, 2-6 light red, 7-15 yellow, 16-24 white, 25 black on black.
extern const std::uint8_t fire_stored_palette[fire_palette_size];

// Seeds the random generator with tick_count, then fire_reset. At start-up,
// and again whenever the show re-runs from its start.
void fire_init(std::uint32_t tick_count);
// The fire as at start-up: the field cold, the default decay (1.2, target
// 0.25, step 0.002), the stored palette, sparks on. Draws no random number.
void fire_reset();
// Sets the six field bytes of every cell of the picture whose character equals
// character to heat; other blocks keep their heat. Felt at the next frame.
void fire_stamp_picture(const ascii_picture& picture, std::uint8_t heat, std::uint8_t character);
// One frame: move the decay, blur and rise, sparks, then draw every block of
// heat level 1 or more over the screen; colder cells are left as they are.
void fire_frame();
// Assigns the decay, its target and the step subtracted per frame (negative: rising).
void fire_set_decay(double decay, double target, double step);
// Non-zero: the spark row is only cleared and the fire burns out.
void fire_set_sparks(int off);
// Makes fire_palette refer to table (26 attribute bytes); the table must outlive its use.
void fire_set_palette(const std::uint8_t* table);

// The value the blur stores for a neighbour sum (0 .. k * 255) and divisor
// offset k (3, 5 or 8) at the current decay: the low 8 bits of
// trunc(sum / (fire_decay + k)). Exposed so its fast path can be checked.
std::uint8_t fire_blur_value(int sum, int k);
