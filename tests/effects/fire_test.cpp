#include "effects/fire.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>

#include "base/random.h"
#include "render/ascii_render.h"

namespace {

std::uint8_t& field(int y, int x) { return fire_field[y * fire_width + x]; }

// A steady fire: the decay stays where it is, no sparks.
void still_fire(double decay, std::uint8_t heat)
{
    std::memset(fire_field, heat, sizeof fire_field);
    fire_set_decay(decay, decay, 0.0);
    fire_set_sparks(1);
    fire_set_palette(fire_stored_palette);
}

void fill_screen(screen_cell value) { std::fill(std::begin(screen_buffer), std::end(screen_buffer), value); }

// The generator's state after n more draws from state.
std::uint32_t advanced(std::uint32_t state, int n)
{
    while (n-- > 0) state = state * 214013u + 2531011u;
    return state;
}

// The state one draw before state (214013 is odd, so the step can be undone).
std::uint32_t previous_state(std::uint32_t state)
{
    std::uint32_t inverse = 214013u;
    for (int i = 0; i < 5; ++i) inverse *= 2u - 214013u * inverse;
    return (state - 2531011u) * inverse;
}

// The blur's formula written out: a double division per value, truncated,
// low 8 bits kept.
std::uint8_t formula(int sum, double decay, double k)
{
    return static_cast<std::uint8_t>(static_cast<int>(sum / (decay + k)));
}

// The whole frame as plainly as it can be written, for comparing the fast
// blur against it bit for bit.
struct reference_fire {
    std::uint8_t f[fire_height][fire_width];
    screen_cell screen[screen_cells];

    void frame(double& decay, double target, double step, bool sparks_off, const std::uint8_t* palette)
    {
        if (step > 0 && decay > target) decay -= step;
        else if (step <= 0 && decay < target) decay -= step;
        for (int y = 1; y <= 49; ++y)
            for (int x = 0; x <= 239; ++x) {
                int sum = 0;
                double k = 0;
                if (y <= 48 && x >= 1 && x <= 238) {
                    for (int dy = -1; dy <= 1; ++dy)
                        for (int dx = -1; dx <= 1; ++dx)
                            if (dy || dx) sum += f[y + dy][x + dx];
                    k = 8.0;
                } else if (y <= 48) {
                    const int n = x == 0 ? 1 : 238;
                    sum = f[y - 1][x] + f[y - 1][n] + f[y][n] + f[y + 1][x] + f[y + 1][n];
                    k = 5.0;
                } else if (x >= 1 && x <= 238) {
                    sum = f[48][x - 1] + f[48][x] + f[48][x + 1] + f[49][x - 1] + f[49][x + 1];
                    k = 5.0;
                } else {
                    const int n = x == 0 ? 1 : 238;
                    sum = f[48][x] + f[48][n] + f[49][n];
                    k = 3.0;
                }
                f[y - 1][x] = formula(sum, decay, k);
            }
        for (int i = 0; i < 25; ++i) {
            for (int c = 0; c < 3; ++c) f[49][glim::rand() * 239 / 32767] = 0;
            if (!sparks_off) f[49][glim::rand() * 239 / 32767] = 255;
            else f[49][239] = 0;
        }
        for (int r = 0; r < 25; ++r)
            for (int c = 0; c < 80; ++c) {
                int s = 0;
                for (int dy = 0; dy < 2; ++dy)
                    for (int dx = 0; dx < 3; ++dx) s += f[2 * r + dy][3 * c + dx];
                const int v = s / 6;
                if (v / 10) screen[r * 80 + c] = static_cast<screen_cell>(palette[v / 10] << 8 | (136 + v / 4));
            }
    }
};

TEST(fire_init, seeds_rand_and_resets_the_field_decay_palette_and_sparks)
{
    const std::uint8_t other_palette[fire_palette_size] = {};
    for (const bool seeded : {true, false}) {
        std::memset(fire_field, 99, sizeof fire_field);
        fire_set_decay(-1.0, 5.0, 0.5);
        fire_set_palette(other_palette);
        fire_set_sparks(1);
        glim::srand(7);
        if (seeded) fire_init(4242);
        else fire_reset();
        for (std::uint8_t heat : fire_field) ASSERT_EQ(heat, 0);
        EXPECT_EQ(glim::rand_state(), seeded ? 4242u : 7u);  // the reset draws nothing
        EXPECT_EQ(fire_decay, 1.2);
        EXPECT_EQ(fire_decay_target, 0.25);
        EXPECT_EQ(fire_decay_step, 0.002);
        EXPECT_EQ(fire_palette, fire_stored_palette);
        EXPECT_EQ(fire_sparks_off, 0);
    }
}

TEST(fire_palette, stored_levels_and_the_black_top_level)
{
    const std::uint8_t expected[fire_palette_size] = {0x00, 0x04, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C,
                                                      0x0E, 0x0E, 0x0E, 0x0E, 0x0E, 0x0E, 0x0E,
                                                      0x0E, 0x0E, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F,
                                                      0x0F, 0x0F, 0x0F, 0x0F, 0x00};
    for (int level = 0; level < fire_palette_size; ++level)
        EXPECT_EQ(fire_stored_palette[level], expected[level]) << level;
}

TEST(fire_decay, steps_until_at_or_past_the_target_then_stays)
{
    still_fire(0.0, 0);
    fire_set_decay(1.7, 0.0, 0.5);
    const double expected[] = {1.7 - 0.5, 1.7 - 0.5 - 0.5, 1.7 - 0.5 - 0.5 - 0.5, -0.30000000000000004,
                               -0.30000000000000004};
    for (double value : expected) {
        fire_frame();
        EXPECT_EQ(fire_decay, value);
    }
    EXPECT_EQ(expected[2], 0.19999999999999996);

    // A negative step raises the decay towards a higher target.
    fire_set_decay(0.22, 25.0, -0.0005);
    fire_frame();
    EXPECT_EQ(fire_decay, 0.22 + 0.0005);

    // At the target nothing moves, whatever the sign of the step.
    for (double step : {0.5, -0.5, 0.0}) {
        fire_set_decay(0.25, 0.25, step);
        fire_frame();
        EXPECT_EQ(fire_decay, 0.25) << step;
    }
    // A step of the wrong sign for the target's side leaves it too.
    fire_set_decay(2.0, 0.25, -0.5);
    fire_frame();
    EXPECT_EQ(fire_decay, 2.0);
}

TEST(fire_blur_value, edges_of_the_arithmetic)
{
    fire_set_decay(0.25, 0.25, 0.0);
    EXPECT_EQ(fire_blur_value(2040, 8), 247);  // 2040 / 8.25 = 247.27
    EXPECT_EQ(fire_blur_value(0, 8), 0);
    fire_set_decay(-0.3, -0.3, 0.0);
    EXPECT_EQ(fire_blur_value(2040, 8), 8);    // 2040 / 7.7 = 264.9, wraps
    EXPECT_EQ(fire_blur_value(1275, 5), 15);   // 1275 / 4.7 = 271.3, wraps
    EXPECT_EQ(fire_blur_value(765, 3), 27);    // 765 / 2.7 = 283.3, wraps
    EXPECT_EQ(fire_blur_value(1965, 8), 255);  // 1965 / 7.7 = 255.2, just below the wrap
}

TEST(fire_blur_value, asserts_a_known_neighbour_count_and_sum)
{
    EXPECT_DEATH(fire_blur_value(0, 4), "Assertion failed: .*k == 8");
    EXPECT_DEATH(fire_blur_value(5 * 255 + 1, 5), "Assertion failed: .*sum <= k \\* 255");
}

// The blur looks its quotients up in tables; they must hold exactly what the
// division gives, for every sum, at every kind of decay the show reaches.
TEST(fire_blur_value, equals_the_division_for_every_sum_and_decay)
{
    const double decays[] = {1.2, 0.25, 0.22, 3.5, 4.0, 25.0, 0.0, 1.0, 0.7, 0.2, 0.1,
                             -0.3, -0.30000000000000004, -0.1, -1.0, 1.2 - 0.002 * 300,
                             3.5 - 0.008 * 409, 0.22 + 0.0005 * 12345};
    for (double decay : decays) {
        fire_set_decay(decay, decay, 0.0);
        for (int k : {8, 5, 3})
            for (int sum = 0; sum <= k * 255; ++sum)
                ASSERT_EQ(fire_blur_value(sum, k), formula(sum, decay, k))
                    << "decay " << decay << " k " << k << " sum " << sum;
    }
}

TEST(fire_frame, wraps_quotients_above_255_at_the_left_edge_and_corner)
{
    still_fire(-0.3, 255);
    fire_frame();
    for (int y = 0; y < 48; ++y) EXPECT_EQ(field(y, 0), 15) << y;  // 1275 / 4.7 -> 271
    EXPECT_EQ(field(48, 0), 27);                                    // 765 / 2.7 -> 283
    EXPECT_EQ(field(0, 1), 233);  // (15 + 7 * 255) / 7.7: the new left neighbour counts
}

TEST(fire_frame, new_value_up_left_feeds_the_next_cell)
{
    still_fire(0.0, 0);
    field(2, 5) = 255;
    fire_frame();
    // 255 / 8 at (0, 4); then (31 + 255) / 8 and (35 + 255) / 8, each cell
    // seeing the value just stored to its left; then 36 / 8.
    const int expected[] = {0, 31, 35, 36, 4, 0};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(field(0, 3 + i), expected[i]) << 3 + i;
}

TEST(fire_frame, equals_the_plain_formula_frame_after_frame)
{
    struct scenario {
        double decay, target, step;
        int sparks_off;
    };
    const scenario scenarios[] = {
        {1.2, 0.25, 0.002, 0}, {3.5, 0.22, 0.008, 0}, {0.22, 25.0, -0.0005, 0},
        {1.7, 0.0, 0.5, 0},    {-0.3, -0.3, 0.0, 1},  {4.0, 0.22, 0.006, 1},
    };
    std::mt19937 noise(7);
    static reference_fire ref;
    for (const scenario& s : scenarios) {
        for (auto& row : ref.f)
            for (auto& heat : row) heat = static_cast<std::uint8_t>(noise());
        std::memcpy(fire_field, ref.f, sizeof fire_field);
        for (int i = 0; i < screen_cells; ++i) ref.screen[i] = screen_buffer[i] = static_cast<screen_cell>(i);
        fire_set_decay(s.decay, s.target, s.step);
        fire_set_sparks(s.sparks_off);
        fire_set_palette(fire_stored_palette);
        double decay = s.decay;
        for (int frame = 0; frame < 40; ++frame) {
            glim::srand(1000 + frame);
            ref.frame(decay, s.target, s.step, s.sparks_off, fire_stored_palette);
            glim::srand(1000 + frame);
            fire_frame();
            ASSERT_EQ(fire_decay, decay);
            ASSERT_EQ(std::memcmp(fire_field, ref.f, sizeof fire_field), 0)
                << "decay " << s.decay << " frame " << frame;
            ASSERT_EQ(std::memcmp(screen_buffer, ref.screen, sizeof ref.screen), 0)
                << "decay " << s.decay << " frame " << frame;
        }
    }
}

TEST(fire_frame, spark_column_reaches_239_only_from_32767)
{
    // Seed so that the frame's last draw, its last spark, is 32767.
    std::uint32_t seed = 0x7FFF0000u;
    for (int i = 0; i < 100; ++i) seed = previous_state(seed);
    still_fire(0.0, 0);
    fire_set_sparks(0);
    glim::srand(seed);
    fire_frame();
    EXPECT_EQ(field(49, 239), 255);

    // 32766 lands one column short.
    seed = 0x7FFE0000u;
    for (int i = 0; i < 100; ++i) seed = previous_state(seed);
    still_fire(0.0, 0);
    fire_set_sparks(0);
    glim::srand(seed);
    fire_frame();
    EXPECT_EQ(field(49, 238), 255);
    EXPECT_EQ(field(49, 239), 0);
}

TEST(fire_frame, draws_100_values_with_sparks_and_75_without)
{
    still_fire(0.0, 0);
    fire_set_sparks(0);
    glim::srand(77);
    fire_frame();
    EXPECT_EQ(glim::rand_state(), advanced(77, 100));
    int sparks = 0;
    for (int x = 0; x < fire_width; ++x) sparks += field(49, x) == 255;
    EXPECT_GT(sparks, 0);
    EXPECT_LE(sparks, 25);

    // Without sparks the spark row is only cleared, its last column every round.
    still_fire(0.0, 200);
    glim::srand(77);
    fire_frame();
    EXPECT_EQ(glim::rand_state(), advanced(77, 75));
    EXPECT_EQ(field(49, 239), 0);
    for (int x = 0; x < fire_width; ++x) EXPECT_TRUE(field(49, x) == 0 || field(49, x) == 200);
}

TEST(fire_frame, cold_field_without_sparks_stays_cold_and_draws_nothing)
{
    still_fire(1.2, 0);
    fill_screen(0x1234);
    for (int frame = 0; frame < 3; ++frame) fire_frame();
    for (std::uint8_t heat : fire_field) ASSERT_EQ(heat, 0);
    for (screen_cell cell : screen_buffer) ASSERT_EQ(cell, 0x1234);
}

TEST(fire_frame, draws_character_and_colour_by_heat_and_skips_level_0)
{
    // Average heat 9: level 0, nothing drawn.
    still_fire(0.0, 9);
    fill_screen(0x1234);
    fire_frame();
    for (screen_cell cell : screen_buffer) ASSERT_EQ(cell, 0x1234);

    // Average heat 60 (decay 0 keeps a uniform field as it is): level 6,
    // character 136 + 15, light red; the spark row's clears only touch the last text row.
    still_fire(0.0, 60);
    fire_frame();
    for (int i = 0; i < 24 * screen_width; ++i) ASSERT_EQ(screen_buffer[i], 0x0C00 | 151) << i;

    // 255 is level 25: black on black, character 199.
    still_fire(0.0, 255);
    fire_frame();
    for (int i = 0; i < 24 * screen_width; ++i) ASSERT_EQ(screen_buffer[i], 0x00C7) << i;

    // Another palette takes over at the next frame.
    std::uint8_t palette[fire_palette_size] = {};
    palette[6] = 0x5A;
    still_fire(0.0, 60);
    fire_set_palette(palette);
    fire_frame();
    EXPECT_EQ(screen_buffer[0], 0x5A00 | 151);
    fire_set_palette(fire_stored_palette);
}

TEST(fire_stamp_picture, heats_the_blocks_of_the_matching_cells_only)
{
    std::string rows[screen_height];
    ascii_picture picture;
    for (int r = 0; r < screen_height; ++r) {
        rows[r] = std::string(screen_width, '.');
        picture.rows[r] = rows[r].c_str();
    }
    rows[3][5] = '#';
    rows[24][79] = '#';
    std::memset(fire_field, 7, sizeof fire_field);

    fire_stamp_picture(picture, 200, 'Z');
    for (std::uint8_t heat : fire_field) ASSERT_EQ(heat, 7);

    fire_stamp_picture(picture, 200, '#');
    for (int y = 0; y < fire_height; ++y)
        for (int x = 0; x < fire_width; ++x) {
            const bool block = (y / 2 == 3 && x / 3 == 5) || (y / 2 == 24 && x / 3 == 79);
            ASSERT_EQ(field(y, x), block ? 200 : 7) << y << " " << x;
        }
}

}  // namespace
