// A viewer's session with the show, the same over every way in (telnet, a
// raw TCP stream, HTTP, ssh): what the viewer's terminal shows, which
// showing it watches and where, its keys and its link. An interactive
// viewer (telnet, ssh) gets the show as in a terminal: the start picture,
// SPACE joins the next shared showing after a countdown, p or SPACE pauses,
// the arrows move between scenes (both leave the shared showing for one of
// the viewer's own), ESC or q leaves; the show loops. A stream (curl,
// netcat) gets the newest shared showing at once, looping. No system calls:
// the host hands in the bytes, the tick and the time, and sends what comes out.
#pragma once
#include <cstdint>

#include "serve/frame_encodings.h"
#include "terminal/key_decoder.h"
#include "terminal/link_pacing.h"

inline constexpr int shown_message = -2;   // the terminal shows the too-small message
inline constexpr int session_text_room = 512;  // room for session_opening's and session_closing's bytes
inline constexpr int largest_side = 9999;  // a window size beyond this is taken as this

enum viewer_stage : std::uint8_t {
    stage_lobby,     // the start picture
    stage_waiting,   // SPACE came: the countdown to the showing's start
    stage_watching,  // the show
    stage_leaving,   // given back: nothing more is sent
};

struct viewer_session {
    int kind;                 // output_kind_index
    bool interactive;         // keys, the start picture and status requests
    int columns, rows;        // the terminal's size
    viewer_stage stage;
    std::int64_t start;       // waiting and watching: the tick of the showing's frame 0
    bool paused;
    int held;                 // paused: the frame that stays
    bool own;                 // on a showing of its own (it paused or moved)
    int shown;                // the frame on the terminal: a table frame, frame_unknown or shown_message
    bool size_asked;          // an 80 x 24 terminal was asked to grow a row
    int asked_columns;
    key_decoder keys;
    int answers_taken;        // of keys.replies, those the link has been told of
    link_state link;
    std::uint64_t frames;     // encodings sent
};

enum session_action { session_go_on, session_leave };

// A new session at tick for a terminal of columns x rows of the given kind.
void session_start(viewer_session& v, const output_kind& kind, bool interactive, int columns, int rows,
                   std::int64_t tick);
// The bytes that open it, at out (session_text_room): for an interactive
// viewer the take-over and, for a terminal of 80 x 24, a request to grow one
// row; nothing for a stream. Sent at now_ns. Returns their count.
int session_opening(viewer_session& v, char* out, std::int64_t now_ns);
// Bytes from the viewer (telnet's framing taken off) that came at now_ns.
void session_input(viewer_session& v, const unsigned char* bytes, int n, std::int64_t now_ns);
// The terminal's new size (a resize): the next frame is drawn whole.
void session_resize(viewer_session& v, int columns, int rows);
// Acts on the keys, once a tick before session_frame: leave, join, pause, move.
session_action session_tick(viewer_session& v, std::int64_t tick, std::int64_t now_ns);
// The frame due at tick, as a table frame.
int session_frame_due(const viewer_session& v, std::int64_t tick);
// What to send at tick (length 0: nothing, the terminal has it or trails),
// with a status request after it when the link asks for one; the caller
// sends it all now. The size message goes to message (encoding_capacity).
encoding session_frame(viewer_session& v, frame_encodings& e, std::int64_t tick, std::int64_t now_ns,
                       char* message);
// The bytes that give the terminal back (colours reset, cursor shown,
// screen cleared, its size back) and then say why in one line when why is
// not null, at out (session_text_room); the stage becomes leaving.
int session_closing(viewer_session& v, const char* why, char* out);
