// The encoder against a terminal emulator: frames of every kind of content are
// encoded, replayed in pyte by tests/tools/ansi_replay.py, and the emulated
// screen is compared with the cells after every frame.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "terminal/ansi_encoder.h"
#include "scratch_dir.h"

namespace {

const std::string replay_script = std::string(GLIMFANT_SOURCE_DIR) + "/tests/tools/ansi_replay.py";

// A file in this program's scratch folder.
std::string temp_path(const std::string& name)
{
    static const scratch_dir scratch("replay");
    return scratch / name;
}

// Frames that exercise the encoder: noise, sparse changes, runs, blank rows,
// full blocks and invisible glyphs, a plasma-like sweep, fire-like glyphs.
std::vector<std::vector<screen_cell>> varied_frames(unsigned seed)
{
    std::mt19937 gen(seed);
    auto pick = [&](int n) { return static_cast<int>(gen() % static_cast<unsigned>(n)); };
    std::vector<std::vector<screen_cell>> frames;
    std::vector<screen_cell> f(screen_cells, 0);
    auto push = [&] { frames.push_back(f); };

    for (int k = 0; k < 6; ++k) {  // noise over every byte and colour pair
        for (screen_cell& c : f) c = static_cast<screen_cell>(gen() & 0xFFFF);
        push();
    }
    for (int k = 0; k < 40; ++k) {  // a few cells change
        const int n = 1 + pick(60);
        for (int i = 0; i < n; ++i) f[pick(screen_cells)] = static_cast<screen_cell>(gen() & 0xFFFF);
        push();
    }
    push();  // nothing changes
    for (int k = 0; k < 30; ++k) {  // runs of one cell, blank runs, rows ending blank
        for (int row = 0; row < screen_height; ++row) {
            int c = 0;
            while (c < screen_width) {
                const int len = 1 + pick(k < 15 ? 30 : 6);
                const screen_cell v = pick(3) == 0 ? make_cell(static_cast<std::uint8_t>(pick(2) ? 0 : 32),
                                                               pick(16), pick(k % 2 ? 1 : 16))
                                                   : make_cell(static_cast<std::uint8_t>(pick(256)), pick(16),
                                                               pick(16));
                for (int i = 0; i < len && c < screen_width; ++i, ++c) f[row * screen_width + c] = v;
            }
            if (pick(4) == 0) {
                const int from = pick(screen_width);
                const screen_cell blank = make_cell(0, pick(16), pick(3) ? 0 : pick(16));
                for (int c2 = from; c2 < screen_width; ++c2) f[row * screen_width + c2] = blank;
            }
        }
        push();
    }
    for (int k = 0; k < 30; ++k) {  // full blocks, glyphs in their own background, no-break spaces
        for (screen_cell& c : f) {
            const int fg = pick(16), r = pick(5);
            const std::uint8_t ch = r == 0 ? 219 : r == 1 ? 255 : r == 2 ? 32 : static_cast<std::uint8_t>(pick(256));
            c = make_cell(ch, fg, r == 3 ? fg : pick(16));
        }
        push();
    }
    for (int k = 0; k < 50; ++k) {  // a plasma: 'O' on black, colours drifting left
        for (int row = 0; row < screen_height; ++row)
            for (int c = 0; c < screen_width; ++c)
                f[row * screen_width + c] = make_cell('O', ((c + k) / 7 + row / 3) % 16, 0);
        push();
    }
    std::fill(f.begin(), f.end(), 0);
    for (int k = 0; k < 50; ++k) {  // a fire: glyphs 138-199 in four colours from the bottom
        for (int row = 0; row < screen_height; ++row)
            for (int c = 0; c < screen_width; ++c) {
                const int heat = pick(256) * row / screen_height;
                if (heat / 10 == 0) continue;
                static constexpr int palette[4] = {0x04, 0x0C, 0x0E, 0x0F};
                f[row * screen_width + c] =
                    static_cast<screen_cell>((palette[heat / 64] << 8) | (136 + heat / 4));
            }
        push();
    }
    std::fill(f.begin(), f.end(), 0);
    push();  // back to black
    return frames;
}

void write_file(const std::string& path, const void* data, std::size_t n)
{
    std::FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(std::fwrite(data, 1, n, out), n);
    std::fclose(out);
}

// Encodes the frames for a terminal of columns x rows, replays them and
// returns the script's exit status.
// bce: the encoder may erase in colour, and the terminal does; else neither.
int replay(int codepage, int color, int columns, int rows, unsigned seed, bool bce = true,
           bool terminal_bce = true)
{
    static ansi_encoder encoder;
    static char bytes[ansi_frame_capacity];
    encoder_init(encoder, codepage, color, columns, rows);
    encoder.erase_in_color = bce;
    std::string stream = ansi_takeover;
    std::vector<unsigned char> cells;
    for (const auto& frame : varied_frames(seed)) {
        stream.append(bytes, static_cast<std::size_t>(encode_frame(encoder, frame.data(), bytes)));
        for (screen_cell c : frame) {
            cells.push_back(static_cast<unsigned char>(c & 0xFF));
            cells.push_back(static_cast<unsigned char>(c >> 8));
        }
    }
    stream += ansi_restore;
    const std::string ansi = temp_path("stream.ans"), dump = temp_path("cells.bin");
    write_file(ansi, stream.data(), stream.size());
    write_file(dump, cells.data(), cells.size());
    const std::string command = "/usr/bin/python3 " + replay_script + " --ansi " + ansi + " --dump " + dump +
                                " --pictures 0 --codepage " + std::to_string(codepage) + " --color " +
                                std::to_string(color) + " --size " + std::to_string(columns) + "x" +
                                std::to_string(rows) + (terminal_bce ? "" : " --no-bce");
    const int status = std::system(command.c_str());
    std::remove(ansi.c_str());
    std::remove(dump.c_str());
    return status;
}

TEST(ansi_replay, pyte_is_there)
{
    ASSERT_EQ(std::system("/usr/bin/python3 -c 'import pyte' 2>/dev/null"), 0)
        << "the replay tests need /usr/bin/python3 with python3-pyte";
}

TEST(ansi_replay, every_frame_shows_its_cells_in_16_colours)
{
    EXPECT_EQ(replay(437, 16, 80, 25, 1), 0);
    EXPECT_EQ(replay(850, 16, 80, 25, 2), 0);
}

TEST(ansi_replay, every_frame_shows_its_cells_in_256_colours_and_truecolor)
{
    EXPECT_EQ(replay(865, 256, 80, 25, 3), 0);
    EXPECT_EQ(replay(437, 24, 80, 25, 4), 0);
}

TEST(ansi_replay, a_terminal_without_background_colour_erase_gets_spaces_not_erases)
{
    EXPECT_EQ(replay(437, 16, 90, 30, 7, false, false), 0);
    EXPECT_NE(replay(437, 16, 80, 25, 7, true, false), 0) << "the model of such a terminal erases in colour";
}

TEST(ansi_replay, a_larger_terminal_shows_the_grid_centred_on_black)
{
    EXPECT_EQ(replay(437, 16, 101, 32, 5), 0);
    EXPECT_EQ(replay(437, 24, 81, 26, 6), 0);
}

}  // namespace
