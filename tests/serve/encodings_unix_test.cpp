// The shared encodings against a terminal emulator: a viewer's terminal that
// got any frame by any way, sent the bytes from that frame to the next (in
// step, after skipped frames, across the loop, from the start picture),
// shows exactly the next frame's cells (tests/tools/ansi_replay.py, pyte).
// And every encoding of the show fits a viewer's queue.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "scratch_dir.h"
#include "serve/frame_encodings.h"
#include "terminal/link_pacing.h"

namespace {

const std::string replay_script = std::string(GLIMFANT_SOURCE_DIR) + "/tests/tools/ansi_replay.py";

frame_encodings& encodings()
{
    static const show_frames frames = show_frames_render();
    static frame_encodings* e = [] {
        auto* made = new frame_encodings{};
        encodings_init(*made, frames, 437);
        return made;
    }();
    return *e;
}

void write_file(const std::string& path, const std::string& bytes)
{
    std::FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), out), bytes.size());
    std::fclose(out);
}

// The frames a viewer is sent in turn, its terminal drawn whole at first.
const std::vector<int> walk = {lobby_frame, countdown_frame(3), countdown_frame(2), 0, 1, 2, 7, 50, 51, 1203,
                               1204, 2500, 4000, loop_frames - 1, 0, 3000, 3001, 3003, 6000, 6001};

int replay(int color, bool bce, int columns, int rows)
{
    static const scratch_dir scratch("serve-replay");
    output_kind kind;
    kind.color = color;
    kind.erase_in_color = bce;
    frame_encodings& e = encodings();
    std::string stream = ansi_takeover, cells;
    int from = frame_unknown;
    for (const int to : walk) {
        encodings_new_tick(e);
        const encoding bytes = encodings_get(e, output_kind_index(kind), columns, rows, from, to);
        stream.append(bytes.bytes, static_cast<std::size_t>(bytes.length));
        const screen_cell* frame = frame_cells(*e.frames, to);
        for (int i = 0; i < screen_cells; ++i) {
            cells += static_cast<char>(frame[i] & 0xFF);
            cells += static_cast<char>(frame[i] >> 8);
        }
        from = to;
    }
    stream += ansi_restore;
    write_file(scratch / "stream.ans", stream);
    write_file(scratch / "cells.bin", cells);
    const std::string command = "/usr/bin/python3 " + replay_script + " --ansi " + (scratch / "stream.ans") +
                                " --dump " + (scratch / "cells.bin") + " --pictures 0 --color " +
                                std::to_string(color) + " --size " + std::to_string(columns) + "x" +
                                std::to_string(rows) + (bce ? "" : " --no-bce");
    return std::system(command.c_str());
}

TEST(serve_encodings, a_terminal_sent_the_bytes_from_the_frame_it_has_shows_the_next)
{
    EXPECT_EQ(replay(16, true, 80, 25), 0);
    EXPECT_EQ(replay(256, true, 100, 30), 0);
    EXPECT_EQ(replay(24, false, 81, 26), 0);
}

TEST(serve_encodings, every_encoding_of_the_show_fits_a_viewers_queue)
{
    frame_encodings& e = encodings();
    int largest = 0;
    for (int color : {16, 256, 24})
        for (bool raw : {false, true}) {
            output_kind kind;
            kind.color = color;
            kind.raw_bytes = raw;
            kind.telnet = true;
            for (int to = 0; to < loop_frames; to += 5) {
                encodings_new_tick(e);
                const int whole = encodings_get(e, output_kind_index(kind), 80, 25, frame_unknown, to).length;
                const int step = encodings_get(e, output_kind_index(kind), 80, 25, to > 0 ? to - 1 : 0, to).length;
                largest = std::max(largest, std::max(whole, step));
            }
        }
    EXPECT_LT(largest + status_request_length + 512, viewer_queue_bytes) << "the session's own text fits beside it";
    std::printf("the largest encoding: %d bytes\n", largest);
}

TEST(serve_encodings, a_bbs_terminal_gets_the_code_pages_bytes_and_none_it_acts_on)
{
    frame_encodings& e = encodings();
    output_kind kind;
    kind.raw_bytes = true;
    encodings_new_tick(e);
    encodings_get(e, output_kind_index(kind), 80, 25, frame_unknown, lobby_frame);
    const ansi_encoder& k = e.kinds[output_kind_index(kind)];
    EXPECT_EQ(k.glyph_bytes[0xB1][0], 0xB1);
    EXPECT_EQ(k.glyph_length[0xB1], 1);
    for (int acted : {7, 8, 9, 10, 12, 13, 27}) {
        const int sent = k.glyph_bytes[acted][0];
        EXPECT_TRUE(sent >= 32 || sent == 0x0E || sent == 0x11) << acted;
    }
}

}  // namespace
