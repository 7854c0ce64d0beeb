// The recording writer: the exact lines for the characters that are easy to
// get wrong, writes cut inside a character or larger than the buffer, and the
// temporary name and its rename over an older file (on Windows too).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "capture/asciicast.h"
#include "e2e/e2e_support.h"

namespace {

cast_file cast;  // 256 KiB: one for the whole program, as in glimfant

// A file in this program's scratch folder.
std::string temp_path(const std::string& name)
{
    static const scratch_dir scratch("cast");
    return scratch / name;
}

// Records the writes, one every 20 ms, and returns the lines after the header.
std::vector<std::string> recorded(const std::vector<std::string>& writes)
{
    const std::string path = temp_path("writes.cast");
    EXPECT_TRUE(cast_open(cast, path.c_str()));
    cast_write_header(cast, cast_header{});
    for (std::size_t i = 0; i < writes.size(); ++i)
        cast_output(cast, 20000 * static_cast<std::int64_t>(i), writes[i].data(), writes[i].size());
    EXPECT_TRUE(cast_finish(cast));
    const std::string text = e2e::slurp(path);
    std::remove(path.c_str());
    std::vector<std::string> lines;
    for (std::size_t at = text.find('\n') + 1; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

TEST(cast_write_header, carries_the_console_palette_in_ansi_order_as_the_theme)
{
    const std::string path = temp_path("header.cast");
    ASSERT_TRUE(cast_open(cast, path.c_str()));
    cast_header header;
    header.term = "linux";
    cast_write_header(cast, header);
    ASSERT_TRUE(cast_finish(cast));
    const std::string text = e2e::slurp(path);
    std::remove(path.c_str());
    // ANSI 1 is the console's red (its colour 4), ANSI 4 its blue (1), ANSI 3 its brown (6).
    EXPECT_EQ(text,
              "{\"version\": 2, \"width\": 80, \"height\": 25, \"timestamp\": 0, \"idle_time_limit\": 2, "
              "\"title\": \"glimfant\", \"env\": {\"TERM\": \"linux\"}, \"theme\": {\"fg\": \"#c0c0c0\", "
              "\"bg\": \"#000000\", \"palette\": \"#000000:#800000:#008000:#808000:#000080:#800080:#008080:"
              "#c0c0c0:#808080:#ff0000:#00ff00:#ffff00:#0000ff:#ff00ff:#00ffff:#ffffff\"}}\n");
}

TEST(cast_output, escapes_for_json_replaces_what_is_not_utf8_and_joins_characters_cut_between_writes)
{
    const std::string r = "\xEF\xBF\xBD";  // U+FFFD
    const auto lines = recorded({"\x1b[1;2H\"q\\\n\r\t\b\f\x01\x7f \xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E",
                                 // a stray byte, an overlong form, a surrogate, past U+10FFFF, cut off
                                 "a\xFF\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82z",
                                 // characters cut between writes
                                 "a\xE2\x82", "\xAC b", "\xF0", "\x9D", "\x84\x9E", "\xC3", "q"});
    const std::vector<std::string> want = {
        "[0.0, \"o\", \"\\u001b[1;2H\\\"q\\\\\\n\\r\\t\\b\\f\\u0001\x7f \xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E\"]",
        "[0.02, \"o\", \"a" + r + r + r + "\"]",
        "[0.04, \"o\", \"" + r + r + r + "\"]",
        "[0.06, \"o\", \"" + r + r + r + r + "\"]",
        "[0.08, \"o\", \"" + r + r + "z\"]",
        "[0.1, \"o\", \"a\"]",
        "[0.12, \"o\", \"\xE2\x82\xAC b\"]",
        "[0.14, \"o\", \"\"]",
        "[0.16, \"o\", \"\"]",
        "[0.18, \"o\", \"\xF0\x9D\x84\x9E\"]",
        "[0.2, \"o\", \"\"]",
        "[0.22, \"o\", \"" + r + "q\"]",  // the start of a character, then none
    };
    EXPECT_EQ(lines, want);
}

TEST(cast_output, a_write_larger_than_the_buffer_becomes_events_at_one_time)
{
    const std::string big(cast_buffer_size / 2, '\x1b');  // six bytes each in the file
    const auto lines = recorded({"x", big});
    ASSERT_GT(lines.size(), 3u);
    EXPECT_EQ(lines[0], "[0.0, \"o\", \"x\"]");
    std::size_t escapes = 0;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        ASSERT_EQ(line.rfind("[0.02, \"o\", \"", 0), 0u) << i;
        ASSERT_EQ(line.substr(line.size() - 2), "\"]");
        const std::size_t body = line.size() - 15;
        ASSERT_EQ(body % 6, 0u);
        escapes += body / 6;
    }
    EXPECT_EQ(escapes, big.size());
}

TEST(cast_finish, renames_once_and_cast_open_refuses_what_it_cannot_write)
{
    const std::string path = temp_path("named.cast");
    ASSERT_TRUE(cast_open(cast, path.c_str()));
    struct stat st{};
    EXPECT_NE(stat(path.c_str(), &st), 0) << "the final name appears only when finished";
    EXPECT_EQ(stat(cast.temp_path, &st), 0);
    EXPECT_TRUE(cast_finish(cast));
    EXPECT_FALSE(cast_finish(cast));
    EXPECT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_NE(stat(cast.temp_path, &st), 0);

    std::FILE* older = std::fopen(path.c_str(), "wb");
    std::fputs("an older recording, longer than the header of the new one ..........................", older);
    std::fclose(older);
    ASSERT_TRUE(cast_open(cast, path.c_str()));
    cast_write_header(cast, cast_header{});
    EXPECT_TRUE(cast_finish(cast)) << "replaces the older file";
    EXPECT_EQ(e2e::slurp(path).rfind("{\"version\": 2, ", 0), 0u);
    std::remove(path.c_str());

    ASSERT_TRUE(cast_open(cast, path.c_str()));
    cast_discard(cast);
    EXPECT_NE(stat(cast.temp_path, &st), 0);
    EXPECT_NE(stat(path.c_str(), &st), 0);

    EXPECT_FALSE(cast_open(cast, temp_path("").c_str()));
    EXPECT_EQ(errno, EISDIR);
    EXPECT_FALSE(cast_open(cast, (temp_path("missing") + "/x.cast").c_str()));
    EXPECT_EQ(errno, ENOENT);
}

}  // namespace
