// Keys from the terminal's bytes: a lone ESC is the key, escape sequences are not.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/terminal.h"

namespace {

void feed(key_decoder& keys, const char* text, std::uint32_t now)
{
    keys_feed(keys, reinterpret_cast<const unsigned char*>(text), static_cast<int>(std::strlen(text)), now);
}

TEST(terminal_keys, a_lone_escape_counts_once_it_has_stood_alone)
{
    key_decoder keys;
    feed(keys, "\x1b", 1000);
    keys_settle(keys, 1000 + lone_escape_ms - 1);
    EXPECT_FALSE(keys.quit);
    EXPECT_EQ(keys_settle_in(keys, 1010), static_cast<int>(lone_escape_ms) - 10);
    keys_settle(keys, 1000 + lone_escape_ms);
    EXPECT_TRUE(keys.quit);
    EXPECT_EQ(keys_settle_in(keys, 2000), -1);
}

TEST(terminal_keys, escape_sequences_are_not_the_escape_key)
{
    for (const char* sequence : {"\x1b[A", "\x1b[1;5C", "\x1b[15~", "\x1bOP", "\x1bx", "\x1b[[A"}) {
        key_decoder keys;
        feed(keys, sequence, 0);
        keys_settle(keys, 1000);
        EXPECT_FALSE(keys.quit) << sequence + 1;
        EXPECT_FALSE(keys.space) << sequence + 1;
    }
}

TEST(terminal_keys, a_sequence_split_across_reads_is_still_a_sequence)
{
    key_decoder keys;
    feed(keys, "\x1b", 0);
    keys_settle(keys, 10);
    feed(keys, "[B", 12);
    keys_settle(keys, 1000);
    EXPECT_FALSE(keys.quit);
}

TEST(terminal_keys, space_and_q_count_at_once_and_not_inside_sequences)
{
    key_decoder keys;
    feed(keys, "x\x1b[ q", 0);  // a space and a q inside a sequence (cursor style)
    EXPECT_FALSE(keys.space);
    EXPECT_FALSE(keys.quit);
    feed(keys, " ", 1);
    EXPECT_TRUE(keys.space);
    feed(keys, "q", 2);
    EXPECT_TRUE(keys.quit);
}

TEST(terminal_keys, two_escapes_quit_by_the_second_and_a_cut_off_sequence_is_dropped)
{
    key_decoder keys;
    feed(keys, "\x1b\x1b", 0);
    keys_settle(keys, lone_escape_ms);
    EXPECT_TRUE(keys.quit);

    key_decoder cut;
    feed(cut, "\x1b[12", 0);
    keys_settle(cut, lone_escape_ms);
    EXPECT_FALSE(cut.quit);
    feed(cut, " ", lone_escape_ms + 1);
    EXPECT_TRUE(cut.space);
}

}  // namespace
