#include "serve/viewer_session.h"

#include <cstdio>
#include <cstring>

#include "serve/showings.h"
#include "serve/telnet_protocol.h"

namespace {

constexpr char stream_end[] = "\x1b[?2026l\x1b[0m\x1b[26H\r\n";
constexpr std::int64_t ns_per_ms = 1000000;

std::uint32_t tick_ms(std::int64_t now_ns) { return static_cast<std::uint32_t>(now_ns / ns_per_ms); }

int clamp_side(int n) { return n > largest_side ? largest_side : n; }

// Text of the session's own (take-over, restore, a line) in the kind's framing.
int framed_text(const viewer_session& v, const char* text, int n, char* out)
{
    if (output_kind_at(v.kind).telnet) return telnet_frame(text, n, out);
    std::memcpy(out, text, static_cast<std::size_t>(n));
    return n;
}

int current_frame(const viewer_session& v, std::int64_t tick)
{
    return v.paused ? v.held : showing_frame(v.start, tick);
}

void clear_keys(key_decoder& k)
{
    k.space = k.pause = k.any = false;
    k.seek = 0;
}

}  // namespace

void session_start(viewer_session& v, const output_kind& kind, bool interactive, int columns, int rows,
                   std::int64_t tick)
{
    v = viewer_session{};
    v.kind = output_kind_index(kind);
    v.interactive = interactive;
    v.columns = clamp_side(columns);
    v.rows = clamp_side(rows);
    v.stage = interactive ? stage_lobby : stage_watching;
    v.start = interactive ? 0 : last_showing_start(tick);
    v.shown = frame_unknown;
}

int session_opening(viewer_session& v, char* out, std::int64_t now_ns)
{
    if (!v.interactive) return 0;
    char text[96];
    int n = std::snprintf(text, sizeof text, "%s", ansi_takeover);
    if (v.rows == screen_height - 1 && v.columns >= screen_width) {
        n += std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n), "\x1b[8;%d;%dt", screen_height,
                           v.columns);
        v.size_asked = true;
        v.asked_columns = v.columns;
    }
    const bool ask = link_should_ask(v.link);
    if (ask) n += std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n), "%s", status_request);
    const int length = framed_text(v, text, n, out);
    link_wrote(v.link, length, ask, now_ns);
    v.keys.replies_due = v.link.count;
    return length;
}

void session_input(viewer_session& v, const unsigned char* bytes, int n, std::int64_t now_ns)
{
    keys_feed(v.keys, bytes, n, tick_ms(now_ns));
    for (; v.answers_taken < v.keys.replies; ++v.answers_taken) link_answered(v.link, now_ns);
    v.keys.replies_due = v.link.count;
}

void session_resize(viewer_session& v, int columns, int rows)
{
    if (columns <= 0 || rows <= 0) return;  // a client that does not know
    columns = clamp_side(columns);
    rows = clamp_side(rows);
    if (columns == v.columns && rows == v.rows) return;
    v.columns = columns;
    v.rows = rows;
    v.shown = frame_unknown;
}

session_action session_tick(viewer_session& v, std::int64_t tick, std::int64_t now_ns)
{
    keys_settle(v.keys, tick_ms(now_ns));
    if (v.stage == stage_leaving) return session_go_on;
    if (v.keys.quit) return session_leave;
    if (v.stage == stage_waiting && tick >= v.start) v.stage = stage_watching;
    if (!v.interactive) {
        clear_keys(v.keys);
        return session_go_on;
    }
    if (v.stage == stage_lobby && v.keys.space) {
        v.stage = stage_waiting;
        v.start = next_showing_start(tick);
    } else if (v.stage == stage_watching) {
        if (v.keys.pause || v.keys.space) {
            if (!v.paused) v.held = current_frame(v, tick);
            else v.start = tick - (v.held + 1);  // on from the frame after the one that stayed
            v.paused = !v.paused;
            v.own = true;
        }
        if (v.keys.seek != 0) {
            const int to = seek_frame(current_frame(v, tick), v.keys.seek);
            if (v.paused) v.held = to;
            else v.start = tick - to;
            v.own = true;
        }
    }
    clear_keys(v.keys);
    return session_go_on;
}

int session_frame_due(const viewer_session& v, std::int64_t tick)
{
    switch (v.stage) {
    case stage_lobby:
        return lobby_frame;
    case stage_waiting:
        if (tick < v.start) {
            const std::int64_t seconds = (v.start - tick + frames_per_second - 1) / frames_per_second;
            return countdown_frame(static_cast<int>(seconds < countdown_seconds_max ? seconds : countdown_seconds_max));
        }
        return showing_frame(v.start, tick);
    default:
        return current_frame(v, tick);
    }
}

encoding session_frame(viewer_session& v, frame_encodings& e, std::int64_t tick, std::int64_t now_ns,
                       char* message)
{
    if (v.stage == stage_leaving) return {nullptr, 0};
    if (v.interactive && link_trails(v.link, now_ns)) return {nullptr, 0};
    encoding out{nullptr, 0};
    int to = shown_message;
    if (v.columns < screen_width || v.rows < screen_height) {
        if (v.shown == shown_message) return out;
        out = {message, encodings_size_message(e, v.kind, v.columns, v.rows, message)};
        std::memcpy(message + out.length, status_request, status_request_length);
    } else {
        to = session_frame_due(v, tick);
        if (to == v.shown) return out;
        out = encodings_get(e, v.kind, v.columns, v.rows, v.shown >= 0 ? v.shown : frame_unknown, to);
    }
    const bool ask = v.interactive && link_should_ask(v.link);
    if (ask) out.length += status_request_length;
    link_wrote(v.link, out.length, ask, now_ns);
    v.keys.replies_due = v.link.count;
    v.shown = to;
    ++v.frames;
    return out;
}

int session_closing(viewer_session& v, const char* why, char* out)
{
    char text[session_text_room / 2];
    int n = 0;
    if (v.interactive) {
        if (v.size_asked && v.rows == screen_height && v.columns == v.asked_columns)
            n += std::snprintf(text, sizeof text, "\x1b[8;%d;%dt", screen_height - 1, v.columns);
        n += std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n), "%s", ansi_restore);
    } else {
        n += std::snprintf(text, sizeof text, "%s", stream_end);
    }
    if (why) n += std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n), "glimfant: %.60s\r\n", why);
    v.stage = stage_leaving;
    return framed_text(v, text, n, out);
}
