#include "base/random.h"

#include <gtest/gtest.h>

TEST(rand, follows_the_15_bit_congruential_sequence)
{
    glim::srand(1);
    // state 1 -> 2745024 -> ...; results are bits 16..30 of each new state.
    EXPECT_EQ(glim::rand(), 41);
    EXPECT_EQ(glim::rand(), 18467);
    EXPECT_EQ(glim::rand(), 6334);
    EXPECT_EQ(glim::rand(), 26500);
    glim::srand(0);
    EXPECT_EQ(glim::rand(), 38);
    EXPECT_EQ(glim::rand_state(), 2531011u);
}

TEST(rand, stays_within_0_and_32767_and_reaches_both_ends)
{
    glim::srand(12345);
    bool saw_max = false, saw_zero = false;
    for (int i = 0; i < 4'000'000 && !(saw_max && saw_zero); ++i) {
        const int r = glim::rand();
        ASSERT_GE(r, 0);
        ASSERT_LE(r, glim::rand_max);
        saw_max |= r == glim::rand_max;
        saw_zero |= r == 0;
    }
    EXPECT_TRUE(saw_max && saw_zero);
}
