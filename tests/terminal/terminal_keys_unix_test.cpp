// Keys from the terminal's bytes: a lone ESC is the key, escape sequences are not.
#include <gtest/gtest.h>

#include <curses.h>
#include <term.h>

#include <cstring>
#include <string>
#include <vector>

#include "terminal/key_decoder.h"
#include "terminal/terminal_caps.h"

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

TEST(terminal_keys, status_answers_are_counted_and_never_a_key_and_an_escape_before_one_still_quits)
{
    key_decoder keys;
    keys.replies_due = 2;
    feed(keys, "\x1b[?62;22c\x1b[0n", 0);
    keys_settle(keys, 1000);
    EXPECT_EQ(keys.replies, 2);
    EXPECT_FALSE(keys.quit);
    // An answer cut after its ESC is not the key while answers are due.
    feed(keys, "\x1b", 1000);
    keys_settle(keys, 1000 + lone_escape_ms);
    EXPECT_FALSE(keys.quit);
    feed(keys, "[?62;22c", 1000 + lone_escape_ms);
    EXPECT_EQ(keys.replies, 3);
    EXPECT_FALSE(keys.quit);
    feed(keys, "\x1b", 2000);
    keys_settle(keys, 2000 + reply_escape_ms);
    EXPECT_TRUE(keys.quit);
    // The ESC key followed at once by an answer.
    key_decoder pressed;
    pressed.replies_due = 1;
    feed(pressed, "\x1b\x1b[?62;22c", 0);
    EXPECT_TRUE(pressed.quit);
    EXPECT_EQ(pressed.replies, 1);
}

// Every key the terminal's terminfo entry names (capabilities k...).
std::vector<std::string> key_table(const char* term)
{
    std::vector<std::string> keys;
    int error = 0;
    if (setupterm(const_cast<char*>(term), -1, &error) != OK) return keys;
    for (int i = 0; strnames[i]; ++i) {
        if (strnames[i][0] != 'k') continue;
        const char* value = tigetstr(strnames[i]);
        if (value && value != reinterpret_cast<char*>(-1) && value[0]) keys.push_back(value);
    }
    del_curterm(cur_term);
    return keys;
}

TEST(terminal_keys, no_key_of_xterm_rxvt_or_the_linux_console_is_an_answer)
{
    for (const char* term : {"xterm", "rxvt-unicode", "linux"}) {
        std::vector<std::string> keys = key_table(term);
        EXPECT_GT(keys.size(), 30u) << term << ": no terminfo entry";
        if (std::string(term) == "rxvt-unicode") {
            // Shift with the arrows (Shift+Right is CSI c), Ctrl with them,
            // and Shift+Right as xterm sends it with modifiers in lower case.
            for (const char* extra : {"\x1b[a", "\x1b[b", "\x1b[c", "\x1b[d", "\x1bOc", "\x1b[1;2c", "\x1b[2$"})
                keys.push_back(extra);
        }
        for (const std::string& key : keys) {
            key_decoder k;
            k.replies_due = 1;
            feed(k, key.c_str(), 0);
            feed(k, key.c_str(), 0);  // twice: keys come back to back when held down
            keys_settle(k, 1000);
            EXPECT_EQ(k.replies, 0) << term << ": " << key.c_str() + (key[0] == 0x1b);
            EXPECT_FALSE(k.quit && key != "\x1b") << term << ": " << key.c_str() + 1;
        }
    }
    // The answers of those terminals, of st, tmux and screen, do count.
    key_decoder k;
    feed(k, "\x1b[?64;1;2;6;9;15;18;21;22c\x1b[?1;2c\x1b[?6c\x1b[?62;22c\x1b[0n\x1b[10n\x1b[>0;95;0c", 0);
    EXPECT_EQ(k.replies, 5);
}

TEST(terminal_keys, arrows_and_pages_seek_p_pauses_and_answers_are_no_key)
{
    struct case_row { const char* bytes; int seek; bool pause; bool any; };
    const case_row rows[] = {
        {"\x1b[C", 1, false, true},   {"\x1b[D", -1, false, true},   // arrows
        {"\x1bOC", 1, false, true},   {"\x1bOD", -1, false, true},   // arrows in application mode
        {"\x1b[6~", 1, false, true},  {"\x1b[5~", -1, false, true},  // Page Down, Page Up
        {"\x1b[15~", 0, false, true}, {"\x1b[56~", 0, false, true},  // F5 and a longer number
        {"\x1b[C\x1b[C\x1b[D", 1, false, true},
        {"p", 0, true, true},          {"x", 0, false, true},          {"\x1bx", 0, false, true},
        {"\x1b[?6c", 0, false, false}, {"\x1b[0n", 0, false, false}, // status answers
    };
    for (const case_row& row : rows) {
        key_decoder keys;
        feed(keys, row.bytes, 0);
        EXPECT_EQ(keys.seek, row.seek) << row.bytes + 1;
        EXPECT_EQ(keys.pause, row.pause) << row.bytes + 1;
        EXPECT_EQ(keys.any, row.any) << row.bytes + 1;
        EXPECT_FALSE(keys.quit) << row.bytes + 1;
    }
}

TEST(terminal_caps, screen_loses_truecolor_and_colour_erase_others_keep_them_linux_is_the_console)
{
    const terminal_caps xterm = terminal_caps_from("xterm-256color", nullptr, nullptr, 1);
    EXPECT_TRUE(xterm.erase_in_color && xterm.truecolor);
    const terminal_caps screen = terminal_caps_from("screen", "1234.pts-0.host", nullptr, 0);
    EXPECT_FALSE(screen.erase_in_color || screen.truecolor);
    const terminal_caps screen_bce = terminal_caps_from("screen-256color-bce", "1.x", nullptr, 1);
    EXPECT_TRUE(screen_bce.erase_in_color && !screen_bce.truecolor);
    const terminal_caps tmux = terminal_caps_from("screen", nullptr, "/tmp/tmux-0/default,1,0", 0);
    EXPECT_TRUE(tmux.erase_in_color && tmux.truecolor);
    const terminal_caps no_bce = terminal_caps_from("vt220", nullptr, nullptr, 0);
    EXPECT_TRUE(!no_bce.erase_in_color && no_bce.truecolor);
    const terminal_caps unknown = terminal_caps_from("no-such-terminal", nullptr, nullptr, -1);
    EXPECT_TRUE(unknown.erase_in_color && unknown.truecolor);
    EXPECT_TRUE(terminal_caps_from("linux", nullptr, nullptr, 1).linux_console);
    EXPECT_TRUE(terminal_caps_from("linux-16color", nullptr, nullptr, 1).linux_console);
    EXPECT_FALSE(xterm.linux_console || screen.linux_console || tmux.linux_console);
}

}  // namespace
