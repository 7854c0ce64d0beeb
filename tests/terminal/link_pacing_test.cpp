// The slow link's rules with made-up times: when to ask, when the terminal
// trails, how long an exit waits. (tests/e2e/slow_link_test.cpp runs the real
// program over a simulated link.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "terminal/link_pacing.h"

namespace {

constexpr std::int64_t ms = 1000000;

// A write of bytes at t (ms), with a request when one is due; true when asked.
bool write_at(link_state& link, int bytes, std::int64_t t)
{
    const bool ask = link_should_ask(link);
    link_wrote(link, bytes + (ask ? status_request_length : 0), ask, t * ms);
    return ask;
}

TEST(link_pacing, a_terminal_that_never_answers_is_asked_twice_and_gets_every_frame)
{
    link_state link;
    EXPECT_TRUE(write_at(link, 100, 0));
    EXPECT_TRUE(write_at(link, 4000, 20));
    for (int frame = 2; frame < 50; ++frame) EXPECT_FALSE(write_at(link, 4000, 20 * frame));
    EXPECT_FALSE(link_trails(link, 1000 * ms));
    // An exit waits half a second from the first request, not from now.
    EXPECT_EQ(link_wait_until(link, 1000 * ms), 500 * ms);
    link_answered(link, 1001 * ms);
    link_answered(link, 1002 * ms);
    link_answered(link, 1003 * ms);  // nobody asked: changes nothing
    EXPECT_EQ(link.count, 0);
}

TEST(link_pacing, an_answering_terminal_trails_when_an_answer_is_two_frames_past_the_round_trip)
{
    link_state link;
    write_at(link, 100, 0);
    link_answered(link, 50 * ms);  // the round trip: 50 ms
    EXPECT_EQ(link.min_delay_ns, 50 * ms);
    EXPECT_TRUE(write_at(link, 4000, 60));
    EXPECT_TRUE(write_at(link, 4000, 80));  // answering: asked after every write
    EXPECT_FALSE(link_trails(link, (60 + 50 + 40) * ms));
    EXPECT_TRUE(link_trails(link, (60 + 50 + 41) * ms));
    // An exit waits two round trips and a margin past the newest request,
    // four seconds at most however slow the link.
    EXPECT_EQ(link_wait_until(link, 200 * ms), (80 + 2 * 50) * ms + answer_margin_ns);
    link.min_delay_ns = 3000 * ms;
    EXPECT_EQ(link_wait_until(link, 200 * ms), 200 * ms + answer_wait_cap_ns);
    link.min_delay_ns = 50 * ms;
    // Silent for three seconds: taken as a terminal that stopped answering.
    EXPECT_FALSE(link_trails(link, (60 + 3001) * ms));
    EXPECT_FALSE(link.answers);
    EXPECT_FALSE(write_at(link, 4000, 3100));
}

// An answer nobody asked for, come while two requests were out, is counted
// for the older one; so the count reaches zero an answer early, and an exit
// reads on while the input brings more, as far apart as the requests were.
TEST(link_pacing, an_exit_reads_on_for_the_answer_an_unasked_one_was_counted_for)
{
    link_state link;
    write_at(link, 100, 0);
    link_answered(link, 10 * ms);
    write_at(link, 4000, 20);
    write_at(link, 4000, 40);
    link_answered(link, 41 * ms);  // nobody asked for it
    link_answered(link, 45 * ms);  // the answer to the request at 20 ms, counted for the one at 40
    ASSERT_EQ(link.count, 0);
    // Still due: the newest request's answer, by two round trips (the wrong
    // pairing made one look 5 ms) and the margin.
    EXPECT_EQ(link.min_delay_ns, 5 * ms);
    EXPECT_EQ(link_wait_until(link, 50 * ms), (40 + 2 * 5) * ms + answer_margin_ns);
    // Quiet for the requests' spacing and two frames after the last answer:
    // the one still on its way, due near 65 ms, is read.
    EXPECT_EQ(link_quiet_until(link, 45 * ms), (45 + 20) * ms + answer_quiet_ns);
    // A terminal not known to answer owes nothing once its requests are read.
    link_state silent;
    write_at(silent, 100, 0);
    link_answered(silent, 1 * ms);
    silent.answers = false;
    EXPECT_EQ(link_wait_until(silent, 5 * ms), 5 * ms);
    EXPECT_EQ(link_quiet_until(silent, 5 * ms), 5 * ms);
}

TEST(link_pacing, with_a_measured_rate_a_frame_of_queued_bytes_is_trailing)
{
    // 100 bytes a millisecond and 5 ms back: frames of 3000 bytes every
    // 20 ms keep the link busy, and the rate is learnt from the answers.
    constexpr std::int64_t ns_per_byte = 10000;
    link_state link;
    std::int64_t through = 0;  // when the link has carried everything written, ns
    auto send = [&](int bytes, std::int64_t t) {
        const std::uint64_t before = link.written;
        write_at(link, bytes, t);
        through = std::max(through, t * ms) + static_cast<std::int64_t>(link.written - before) * ns_per_byte;
    };
    for (int frame = 0; frame < 10; ++frame) {
        send(3000, 20 * frame);
        if (frame > 0) link_answered(link, through - 3003 * ns_per_byte + 5 * ms);  // the frame before's answer
    }
    link_answered(link, through + 5 * ms);
    ASSERT_GT(link.rate_ns, 0);
    EXPECT_NEAR(link.rate_bytes / link.rate_ns * ms, 100.0, 10.0);  // the first round trip held a frame
    // Long after, a frame of 1000 bytes keeps up; 5000 bytes more right
    // after it queue more than a frame's worth, until the link drains them.
    send(1000, 1000);
    EXPECT_FALSE(link_trails(link, 1001 * ms));
    send(5000, 1001);
    EXPECT_TRUE(link_trails(link, 1002 * ms));
    EXPECT_FALSE(link_trails(link, 1050 * ms));
    // A give-back flushes the input: nothing is due, nothing written before counts.
    link_forget(link);
    EXPECT_EQ(link.count, 0);
    EXPECT_EQ(link.answered, link.written);
    EXPECT_FALSE(link_trails(link, 1052 * ms));
}

}  // namespace
