// The viewers' side: when shared showings start, where seeks land, a
// viewer's session from the start picture to leaving, the sharing of
// encodings between viewers at one place, and the limits on one address.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "serve/address_limits.h"
#include "serve/showings.h"
#include "serve/viewer_session.h"

namespace {

constexpr std::int64_t ms = 1000000;

const show_frames& table()
{
    static const show_frames frames = show_frames_render();
    return frames;
}

frame_encodings& encodings()
{
    static frame_encodings* e = [] {
        auto* made = new frame_encodings{};
        encodings_init(*made, table(), 437);
        return made;
    }();
    return *e;
}

char message[encoding_capacity];

// What the session sends at tick (the time is the tick's own), as bytes.
std::string frame_at(viewer_session& v, std::int64_t tick)
{
    encodings_new_tick(encodings());
    const encoding e = session_frame(v, encodings(), tick, tick * frame_ms * ms, message);
    return std::string(e.bytes ? e.bytes : "", static_cast<std::size_t>(e.length));
}

void keys(viewer_session& v, const char* k, std::int64_t tick)
{
    session_input(v, reinterpret_cast<const unsigned char*>(k), static_cast<int>(std::strlen(k)), tick * frame_ms * ms);
}

bool has(const std::string& bytes, const std::string& part) { return bytes.find(part) != std::string::npos; }

int scene_frame(int i) { return (scene_start_ms(show_scenes[i].beat) + frame_ms - 1) / frame_ms; }

TEST(showings, shared_showings_start_at_32_places_of_the_loop_about_five_seconds_apart)
{
    std::set<std::int64_t> places;
    std::int64_t start = next_showing_start(-1);
    EXPECT_EQ(start, 0);
    for (int k = 0; k < 3 * showing_places; ++k) {
        const std::int64_t next = next_showing_start(start);
        EXPECT_GE(next - start, 247);
        EXPECT_LE(next - start, 248);  // a countdown of at most 5 s
        places.insert(start % loop_frames);
        for (std::int64_t t : {start, start + 1, next - 1}) {
            EXPECT_EQ(last_showing_start(t), start);
            EXPECT_EQ(next_showing_start(t), next);
        }
        start = next;
    }
    EXPECT_EQ(places.size(), static_cast<std::size_t>(showing_places));  // however long the server runs
    EXPECT_EQ(showing_frame(100, 100 + loop_frames + 5), 5);           // the show loops
}

TEST(showings, seeks_land_on_the_frames_the_terminal_show_moves_to)
{
    EXPECT_EQ(seek_frame(0, 1), scene_frame(1));
    EXPECT_EQ(seek_frame(0, 2), scene_frame(2));
    EXPECT_EQ(seek_frame(scene_frame(3) + 100, -1), scene_frame(3));  // back to this scene's start
    EXPECT_EQ(seek_frame(scene_frame(3) + 10, -1), scene_frame(2));   // in its first second: the one before
    EXPECT_EQ(seek_frame(scene_frame(3) + 10, -2), scene_frame(1));
    EXPECT_EQ(seek_frame(loop_frames - 1, 1), 0);                      // past the last: the start again
}

TEST(viewer_session, an_interactive_viewer_waits_for_its_showing_then_pauses_and_leaves)
{
    viewer_session v;
    output_kind kind;
    session_start(v, kind, true, 80, 25, 1000);
    char text[session_text_room];
    const std::string opening(text, static_cast<std::size_t>(session_opening(v, text, 1000 * frame_ms * ms)));
    EXPECT_EQ(opening, std::string(ansi_takeover) + status_request);
    EXPECT_TRUE(has(frame_at(v, 1000), "\x1b[2J"));  // the start picture, drawn whole
    EXPECT_EQ(frame_at(v, 1001), "");                 // it stays: nothing to send
    keys(v, " ", 1002);
    session_tick(v, 1002, 1002 * frame_ms * ms);
    EXPECT_EQ(v.stage, stage_waiting);
    EXPECT_EQ(v.start, next_showing_start(1002));
    EXPECT_EQ(session_frame_due(v, 1002), countdown_frame(static_cast<int>((v.start - 1002 + 49) / 50)));
    EXPECT_EQ(session_frame_due(v, v.start - 1), countdown_frame(1));
    const std::int64_t t = v.start + 10;
    session_tick(v, t, t * frame_ms * ms);
    EXPECT_EQ(v.stage, stage_watching);
    EXPECT_EQ(session_frame_due(v, t), 10);
    EXPECT_FALSE(v.own);
    keys(v, "p", t);
    session_tick(v, t, t * frame_ms * ms);
    EXPECT_TRUE(v.own);  // a showing of its own from now on
    EXPECT_EQ(session_frame_due(v, t + 500), 10);
    keys(v, "\x1b[C", t + 500);  // moved while paused: the frame moved to shows
    session_tick(v, t + 500, (t + 500) * frame_ms * ms);
    EXPECT_EQ(session_frame_due(v, t + 600), scene_frame(1));
    keys(v, "p", t + 600);
    session_tick(v, t + 600, (t + 600) * frame_ms * ms);
    EXPECT_EQ(session_frame_due(v, t + 600), scene_frame(1) + 1);  // on from the frame after
    keys(v, "q", t + 601);
    EXPECT_EQ(session_tick(v, t + 601, (t + 601) * frame_ms * ms), session_leave);
    const std::string closing(text, static_cast<std::size_t>(session_closing(v, "bye", text)));
    EXPECT_EQ(closing, std::string(ansi_restore) + "glimfant: bye\r\n");
    EXPECT_EQ(frame_at(v, t + 602), "");
}

TEST(viewer_session, viewers_at_one_place_share_the_bytes_and_one_that_skipped_gets_its_own)
{
    output_kind kind;
    kind.stream = true;
    viewer_session a, b, late;
    session_start(a, kind, false, 80, 25, 5000);
    session_start(b, kind, false, 80, 25, 5001);  // the same showing, a tick later
    EXPECT_EQ(a.start, b.start);
    frame_encodings& e = encodings();
    encodings_new_tick(e);
    const encoding first_a = session_frame(a, e, 5002, 0, message);
    const encoding first_b = session_frame(b, e, 5002, 0, message);
    EXPECT_EQ(first_a.bytes, first_b.bytes);
    EXPECT_EQ(e.made, 1);
    late = a;
    encodings_new_tick(e);
    session_frame(a, e, 5003, 0, message);
    session_frame(b, e, 5003, 0, message);
    EXPECT_EQ(e.made, 1);
    encodings_new_tick(e);
    const encoding step = session_frame(a, e, 5004, 0, message);
    const encoding skip = session_frame(late, e, 5004, 0, message);  // has 5002's frame, not 5003's
    EXPECT_NE(step.bytes, skip.bytes);
    EXPECT_EQ(e.made, 2);
    EXPECT_EQ(late.shown, a.shown);
    // A stream's frames leave the cursor below the grid; no take-over, and a plain end.
    EXPECT_EQ(std::string(step.bytes + step.length - 5, 5), "\x1b[26H");
    char text[session_text_room];
    EXPECT_EQ(session_opening(a, text, 0), 0);
    EXPECT_TRUE(has(std::string(text, static_cast<std::size_t>(session_closing(a, nullptr, text))), "\x1b[0m\x1b[26H\r\n"));
}

TEST(viewer_session, a_terminal_of_80_x_24_is_asked_to_grow_and_a_small_one_told_its_size)
{
    viewer_session v;
    output_kind kind;
    kind.telnet = true;
    session_start(v, kind, true, 80, 24, 0);
    char text[session_text_room];
    EXPECT_TRUE(has(std::string(text, static_cast<std::size_t>(session_opening(v, text, 0))), "\x1b[8;25;80t"));
    EXPECT_TRUE(has(frame_at(v, 1), "this one is 80 x 24"));
    EXPECT_EQ(frame_at(v, 2), "");  // told once
    session_resize(v, 80, 25);        // it grew
    const std::string whole = frame_at(v, 3);
    EXPECT_TRUE(has(whole, "\x1b[2J"));
    int lone_cr = 0;  // telnet's framing: no CR alone
    for (std::size_t i = 0; i < whole.size(); ++i)
        lone_cr += whole[i] == '\r' && !(i + 1 < whole.size() && (whole[i + 1] == '\0' || whole[i + 1] == '\n'));
    EXPECT_EQ(lone_cr, 0);
    EXPECT_TRUE(has(std::string(text, static_cast<std::size_t>(session_closing(v, nullptr, text))), "\x1b[8;24;80t"));
}

TEST(address_limits, one_address_holds_so_many_at_once_and_comes_so_often)
{
    address_limits l;
    limits_init(l, 3, 6, 10);
    const std::uint8_t a[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 192, 0, 2, 1};
    std::uint8_t b[16];
    std::memcpy(b, a, 16);
    b[15] = 2;
    std::int64_t now = 1000 * ms;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(limits_admit(l, a, now), nullptr);
    EXPECT_NE(limits_admit(l, a, now), nullptr);  // a fourth at once
    EXPECT_EQ(limits_admit(l, b, now), nullptr);  // another address is another count
    limits_release(l, a);
    EXPECT_EQ(limits_admit(l, a, now), nullptr);
    for (int i = 0; i < 3; ++i) limits_release(l, a);
    // Six a minute: four came, two more at once, then one each ten seconds.
    EXPECT_EQ(limits_admit(l, a, now), nullptr);
    EXPECT_EQ(limits_admit(l, a, now), nullptr);
    for (int i = 0; i < 2; ++i) limits_release(l, a);
    EXPECT_NE(limits_admit(l, a, now), nullptr);
    EXPECT_NE(limits_admit(l, a, now + 9000 * ms), nullptr);
    EXPECT_EQ(limits_admit(l, a, now + 10000 * ms), nullptr);
    limits_release(l, a);
    // Forgotten once idle past its minute; an address with a connection is kept.
    limits_purge(l, now + 120000 * ms);
    EXPECT_EQ(l.count, 1);
    EXPECT_EQ(limits_admit(l, a, now + 120000 * ms), nullptr);  // afresh
}

}  // namespace
