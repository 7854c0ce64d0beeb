#include "effects/fountain.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "base/random.h"
#include "render/ascii_render.h"

namespace {

// Number of generator steps from state before to the current state (-1 if
// more than 10000).
int draws_since(std::uint32_t before)
{
    for (int n = 0; n <= 10000; ++n, before = before * 214013u + 2531011u)
        if (before == glim::rand_state()) return n;
    return -1;
}

int drawn_cells()
{
    int n = 0;
    for (screen_cell cell : screen_buffer) n += cell != 0;
    return n;
}

// A fountain whose first call handles particle 0 only, placed as given.
void one_particle(fountain& p, double x, double y, double vy, int bounces)
{
    fountain_init(p);
    p.x[0] = x;
    p.y[0] = y;
    p.vx[0] = 0.0;
    p.vy[0] = vy;
    p.bounces[0] = bounces;
    p.cell[0] = 0x0B2A;
}

TEST(fountain_init, draws_no_values_and_waits_below_and_beside_the_screen)
{
    glim::srand(1);
    fountain p;
    fountain_init(p);
    EXPECT_EQ(draws_since(1), 0);
    EXPECT_EQ(p.active_countdown, 90u);
    for (int k = 0; k < fountain_count; ++k) {
        EXPECT_EQ(p.y[k], 25.0);
        EXPECT_TRUE(p.x[k] < 0.0 || p.x[k] > 79.0);
    }
}

TEST(fountain_frame, first_call_without_spawn_bounces_particle_zero_and_draws_nothing)
{
    fountain p;
    fountain_init(p);
    clear_screen();
    glim::srand(3);
    fountain_frame(p, 0);
    EXPECT_EQ(draws_since(3), 0);
    EXPECT_EQ(p.bounces[0], 1);
    EXPECT_EQ(p.y[0], 24.0);
    EXPECT_EQ(p.bounces[1], 0);
    EXPECT_EQ(p.y[1], 25.0);
    EXPECT_EQ(drawn_cells(), 0);
}

TEST(fountain_frame, first_call_with_spawn_respawns_particle_zero_from_six_values_in_order)
{
    for (std::uint32_t seed = 0; seed < 40; ++seed) {
        glim::srand(seed);
        int r[6];
        for (int& value : r) value = glim::rand();
        const double inverse = 3.051850947599719e-05;
        const double x = 39.0 + r[0] % 2;
        const double vx = r[1] * 0.4 * inverse - 0.2;
        const double vy = -(r[2] * 0.1 * inverse) - 0.7;
        const std::uint8_t character = ".oO*"[r[3] % 4];
        const int attribute = (r[4] % 2 == 1 ? 0x03 : 0x01) + (r[5] % 2 == 1 ? 0x08 : 0);

        fountain p;
        fountain_init(p);
        clear_screen();
        glim::srand(seed);
        fountain_frame(p, 1);
        ASSERT_EQ(draws_since(seed), 6);
        EXPECT_EQ(p.cell[0], (attribute << 8) | character);
        EXPECT_EQ(p.bounces[0], 0);
        EXPECT_EQ(screen_buffer[24 * screen_width + static_cast<int>(x)], p.cell[0]);
        EXPECT_EQ(drawn_cells(), 1);
        EXPECT_EQ(p.x[0], x + vx);
        EXPECT_EQ(p.y[0], 24.0 + vy);
        EXPECT_EQ(p.vy[0], vy + 0.015);
        EXPECT_EQ(p.y[1], 25.0);
    }
}

TEST(fountain_frame, bounce_loses_a_third_and_counts_before_the_respawn_test)
{
    fountain p;
    one_particle(p, 40.0, 24.6, 0.3, 0);
    glim::srand(6);
    fountain_frame(p, 1);
    EXPECT_EQ(draws_since(6), 0);
    EXPECT_EQ(p.bounces[0], 1);
    EXPECT_EQ(p.y[0], 23.6 + -0.19999999999999998);
    EXPECT_EQ(p.vy[0], -0.19999999999999998 + 0.015);

    // The third bounce respawns in the same call.
    one_particle(p, 40.0, 24.6, 0.3, 2);
    glim::srand(6);
    fountain_frame(p, 1);
    EXPECT_EQ(draws_since(6), 6);
    EXPECT_EQ(p.bounces[0], 0);
}

TEST(fountain_frame, respawns_left_of_0_or_right_of_79_but_never_for_nan)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        double x;
        int draws;
    } cases[] = {{79.0, 0}, {79.5, 6}, {0.0, 0}, {-0.5, 6}, {nan, 0}};
    for (const auto& c : cases) {
        fountain p;
        one_particle(p, c.x, 10.0, 0.0, 0);
        clear_screen();
        glim::srand(9);
        fountain_frame(p, 1);
        EXPECT_EQ(draws_since(9), c.draws) << c.x;
    }
}

TEST(fountain_frame, draws_truncated_positions_on_screen_and_never_the_cell_0x0020)
{
    fountain p;
    // Without spawn, x = -0.5 is not renewed and truncates to column 0.
    one_particle(p, -0.5, 3.7, 0.0, 0);
    clear_screen();
    fountain_frame(p, 0);
    EXPECT_EQ(screen_buffer[3 * screen_width + 0], 0x0B2A);

    one_particle(p, std::numeric_limits<double>::quiet_NaN(), 3.0, 0.0, 0);
    clear_screen();
    fountain_frame(p, 0);
    EXPECT_EQ(drawn_cells(), 0);

    one_particle(p, 10.0, 10.0, 0.0, 0);
    p.cell[0] = 0x0020;
    clear_screen();
    fountain_frame(p, 0);
    EXPECT_EQ(drawn_cells(), 0);

    // Only the exact value is skipped: a space with colours is drawn.
    p.cell[0] = 0x0B20;
    fountain_frame(p, 0);  // the countdown moved on; particle 0 is still handled first
    EXPECT_EQ(screen_buffer[10 * screen_width + 10], 0x0B20);
}

TEST(fountain_frame, one_more_particle_per_call_until_all_ninety)
{
    fountain p;
    fountain_init(p);
    for (int call = 1; call <= 95; ++call) {
        fountain_frame(p, 0);
        const int handled = call < fountain_count ? call : fountain_count;
        EXPECT_EQ(p.active_countdown, static_cast<std::uint32_t>(fountain_count - handled));
        if (handled < fountain_count) {
            EXPECT_EQ(p.y[handled], 25.0) << call;
        }
        EXPECT_NE(p.y[handled - 1], 25.0) << call;
    }
}

}  // namespace
