// How far the terminal trails. Over a slow link (ssh) the writes pile up in
// buffers on the way and the picture falls behind the music. So each write
// ends with a status request (device attributes, CSI c: every common terminal
// answers it; not all answer DSR's CSI 5 n), and its answer, read with the
// keys, tells when the terminal got there. While it trails, frames are not
// presented; the next present sends the difference from what the terminal
// last received. A terminal that never answers is asked twice (at the take-
// over and after the start picture: the answers' spacing times the link) and
// gets every frame. The rules read no clock: every time is an argument, in
// nanoseconds of the monotonic clock.
#pragma once
#include <cstdint>

#include "render/ascii_render.h"

inline constexpr char status_request[] = "\x1b[c";
inline constexpr int status_request_length = sizeof status_request - 1;
inline constexpr int probe_capacity = 64;                      // requests awaiting an answer
inline constexpr std::int64_t trail_slack_ns = std::int64_t{frame_ms} * 1000000;  // a frame of queue past the round trip
inline constexpr std::int64_t late_slack_ns = 2 * trail_slack_ns;                 // two frames late past the round trip
inline constexpr std::int64_t silent_ns = 3000000000;          // no answer for so long: it stopped answering
inline constexpr std::int64_t reply_drain_ns = 500000000;      // an exit's wait for a terminal not known to answer
inline constexpr std::int64_t answer_margin_ns = 250000000;    // past two round trips, for the last answer
inline constexpr std::int64_t answer_wait_cap_ns = 4000000000; // the longest an exit waits for answers
inline constexpr std::int64_t answer_quiet_ns = 2 * trail_slack_ns;  // for an answer not counted, past the requests' spacing
inline constexpr double rate_decay = 0.9;                      // per answer, for the measured link rate

struct link_probe {
    std::int64_t sent_ns;  // when the request had been written
    std::uint64_t bytes;   // bytes written up to and including it
};

struct link_state {
    link_probe probes[probe_capacity];  // requests not yet answered, oldest at first
    int first = 0, count = 0;
    bool answers = false;               // the terminal answers: ask after every write
    std::int64_t min_delay_ns = INT64_MAX;  // the fastest answer: the round trip with nothing queued
    std::uint64_t written = 0;          // bytes written since the start
    std::uint64_t answered = 0;         // of those, the ones known to have arrived
    std::int64_t answered_ns = 0;       // when the last answer came
    std::int64_t asked_ns = 0;          // when the newest request had been written, answered or not; 0: none
    std::int64_t asked_gap_ns = 0;      // from the request before it to the newest
    double rate_bytes = 0, rate_ns = 0; // decayed sums of bytes delivered on a busy link and their time
};

// True when the next write should end with a status request.
bool link_should_ask(const link_state& link);
// bytes (the request included when asked) were written; the write ended at now.
void link_wrote(link_state& link, int bytes, bool asked, std::int64_t now);
// The oldest request was answered at now: how long it took, and how fast the
// link delivered the bytes since the answer before. An answer nobody asked
// for changes nothing.
void link_answered(link_state& link, std::int64_t now);
// True while the terminal trails at now: the oldest request is two frames
// later than the round trip and the bytes before it take, or more than a
// frame's time of bytes is still queued on the link. A terminal silent for
// silent_ns is taken as one that does not answer (until it answers again).
bool link_trails(link_state& link, std::int64_t now);
// Until when an exit (or a stop) at now reads the answers still due, before
// it drops what is left of the input: for a terminal that answers, two of
// its fastest round trips and a margin after the newest request was sent
// (answered or not), at most answer_wait_cap_ns from now, so that no answer
// reaches the shell on a slow link; for one not known to answer, half a
// second from when the oldest still due was sent.
std::int64_t link_wait_until(const link_state& link, std::int64_t now);
// Until when an exit that has read every answer counted as due goes on
// reading, heard_ns being when the input last brought something (or when
// the exit began): an answer nobody asked for that came while requests were
// out was counted for the oldest, so one that was asked for may still be on
// its way: it follows the one before about as far apart as their requests
// were sent. The two newest requests' spacing and answer_quiet_ns past
// heard_ns; heard_ns itself for a terminal not known to answer. The caller
// stops at link_wait_until's time all the same.
std::int64_t link_quiet_until(const link_state& link, std::int64_t heard_ns);
// The terminal was given back and its input flushed: no answer is due, and
// the next one times nothing written before now.
void link_forget(link_state& link);
