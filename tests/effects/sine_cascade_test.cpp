#include "effects/sine_cascade.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "base/random.h"
#include "render/ascii_render.h"

namespace {

int drawn_cells()
{
    int n = 0;
    for (screen_cell cell : screen_buffer) n += cell != 0;
    return n;
}

TEST(sine_cascade, construction_and_frames_draw_no_random_values)
{
    glim::srand(42);
    sine_cascade c;
    cascade_init(c);
    for (int call = 0; call < 300; ++call) cascade_frame(c, 1);
    EXPECT_EQ(glim::rand_state(), 42u);
}

TEST(cascade_frame, first_particle_is_a_light_cyan_star_on_row_0)
{
    sine_cascade c;
    cascade_init(c);
    clear_screen();
    cascade_frame(c, 1);
    EXPECT_EQ(c.phase, 0.1);
    EXPECT_EQ(c.active_countdown, 199u);
    EXPECT_EQ(c.restart_hold, 0u);
    EXPECT_NEAR(c.x[0], 41.997, 0.001);
    EXPECT_EQ(c.x[0], std::sin(0.1) * 20 + 40);
    EXPECT_NEAR(c.shade[0], 3.49, 0.005);
    // The shift copied the new particle 0 to 1; only particle 0 was handled.
    EXPECT_EQ(c.x[1], c.x[0]);
    EXPECT_EQ(c.vy[0], 0.015);
    EXPECT_EQ(c.vy[1], 0.0);
    EXPECT_EQ(screen_buffer[41], 0x0B2A);
    EXPECT_EQ(drawn_cells(), 1);
}

TEST(cascade_frame, one_more_particle_per_call_and_a_first_respawn_holds_the_shift_for_good)
{
    sine_cascade c;
    cascade_init(c);
    for (int call = 1; call <= 199; ++call) {
        cascade_frame(c, 1);
        EXPECT_EQ(c.active_countdown, static_cast<std::uint32_t>(cascade_count - call));
    }
    // Still fresh particles only: nothing has hit a limit yet ...
    EXPECT_EQ(c.restart_hold, 0u);
    // ... until a handled particle leaves sideways and is respawned in the loop.
    c.x[150] = 80.0;
    cascade_frame(c, 1);
    EXPECT_EQ(c.active_countdown, 0u);
    EXPECT_EQ(c.restart_hold, 200u);
    // From now on every call renews the front and shifts the chain.
    const double front = c.x[0];
    cascade_frame(c, 1);
    EXPECT_EQ(c.x[0], std::sin(c.phase) * 20 + 40);
    EXPECT_EQ(c.x[1], c.x[0]);
    EXPECT_EQ(c.x[2], front);
}

TEST(cascade_frame, without_countdown_or_hold_the_chain_stands_still)
{
    sine_cascade c;
    cascade_init(c);
    c.active_countdown = 1;
    for (int k = 0; k < cascade_count; ++k) c.x[k] = k % 70;
    cascade_frame(c, 0);
    for (int k = 0; k < cascade_count; ++k) EXPECT_EQ(c.x[k], k % 70) << k;
    EXPECT_EQ(c.restart_hold, 0u);
}

TEST(cascade_frame, without_spawn_the_shift_copies_the_old_front_down_the_chain)
{
    sine_cascade c;
    cascade_init(c);
    c.active_countdown = 0;
    c.restart_hold = 200;
    c.x[0] = 10.0;
    c.y[0] = 5.0;
    c.shade[0] = 1.2;
    cascade_frame(c, 0);
    cascade_frame(c, 0);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(c.x[k], 10.0) << k;
        EXPECT_EQ(c.shade[k], 1.2) << k;
    }
    EXPECT_EQ(c.y[0], c.y[1]);
    EXPECT_EQ(c.x[3], 85.0);
    EXPECT_EQ(screen_buffer[5 * screen_width + 10], 0x096F);
}

TEST(cascade_frame, bounces_by_ten_twenty_firsts_and_respawns_after_the_eighth)
{
    sine_cascade c;
    cascade_init(c);
    c.active_countdown = 0;
    for (int k = 0; k < cascade_count; ++k) c.x[k] = 20.0;
    c.y[0] = 24.6;
    c.vy[0] = 0.3;
    c.bounces[0] = 6;
    c.y[1] = 24.6;
    c.vy[1] = 0.3;
    c.bounces[1] = 7;
    cascade_frame(c, 1);
    EXPECT_EQ(c.bounces[0], 7);
    EXPECT_EQ(c.y[0], 23.6 + -(0.3 * 0.47619047619047616));
    EXPECT_EQ(c.bounces[1], 0);
    EXPECT_EQ(c.x[1], std::sin(0.1) * 20 + 40);
    EXPECT_EQ(c.restart_hold, 200u);
}

TEST(cascade_frame, shade_truncates_to_the_cell_and_a_bad_shade_is_caught)
{
    sine_cascade c;
    cascade_init(c);
    c.active_countdown = 1;
    c.x[0] = 3.0;
    c.y[0] = 2.0;
    const screen_cell looks[4] = {0x012E, 0x096F, 0x034F, 0x0B2A};
    for (int shade = 0; shade < 4; ++shade) {
        c.shade[0] = shade + 0.99;
        clear_screen();
        cascade_frame(c, 0);
        EXPECT_EQ(screen_buffer[2 * screen_width + 3], looks[shade]) << shade;
    }
    c.shade[0] = 4.0;
    EXPECT_DEATH(cascade_frame(c, 0), "Assertion failed: c.shade\\[k\\] >= 0.0 && c.shade\\[k\\] < shade_count");
}

}  // namespace
