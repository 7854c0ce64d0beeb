// Text quoted in messages: one printable line, cut at a character.
#include "base/printable.h"

#include <gtest/gtest.h>

#include <string>

TEST(printable, controls_c1_and_broken_utf8_become_hex_and_characters_stay)
{
    char out[64];
    printable_copy("a\x1b]0;t\x07\n\xc2\x9b\xff\xc3\xa5\xe2\x96\x93", out, sizeof out);
    EXPECT_STREQ(out, "a\\x1B]0;t\\x07\\x0A\\xC2\\x9B\\xFF\xc3\xa5\xe2\x96\x93");
}

TEST(printable, a_long_text_is_cut_at_a_character_and_marked)
{
    char out[10];
    printable_copy("ab\xe2\x96\x93\x1b", out, sizeof out);  // the shade fits, the escape does not
    EXPECT_STREQ(out, "ab\xe2\x96\x93...");
    printable_copy("abcd\x1b", out, sizeof out);
    EXPECT_STREQ(out, "abcd...");
    // A whole path, every byte escaped, fits the shared buffer.
    const std::string path(4095, '\x01');
    EXPECT_EQ(std::string(printable(path.c_str())).size(), 4 * path.size());
}
