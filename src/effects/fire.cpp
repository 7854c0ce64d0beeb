#include "effects/fire.h"

#include <cstring>

#include "core/random.h"

std::uint8_t fire_field[fire_height * fire_width];
double fire_decay, fire_decay_target, fire_decay_step;
std::int32_t fire_sparks_off;
const std::uint8_t fire_stored_palette[fire_palette_size] = {};
const std::uint8_t* fire_palette = fire_stored_palette;

void fire_init(std::uint32_t tick_count)
{
    std::memset(fire_field, 0, sizeof fire_field);
    glim::srand(tick_count);
    fire_set_decay(1.2, 0.25, 0.002);
}
void fire_stamp_picture(const ascii_picture&, std::uint8_t, std::uint8_t) {}
void fire_frame() {}
void fire_set_decay(double decay, double target, double step)
{
    fire_decay = decay;
    fire_decay_target = target;
    fire_decay_step = step;
}
void fire_set_sparks(int off) { fire_sparks_off = off; }
void fire_set_palette(const std::uint8_t* table) { fire_palette = table; }
