// The show over SSH (libssh in server mode), in the server's own loop: the
// ssh listeners and connections are watched by the server's poller under
// tokens of their own, and at each of the server's ticks every ssh viewer is
// sent its frame from the encodings shared with the telnet viewers. Any user
// name gets in with no password (the "none" method); the pty request gives
// the terminal's type and size, a window change counts, and the shell
// starts the show; everything else a client may ask for (a command, a
// subsystem, ports, X11 or the agent forwarded) is refused. Nothing waits on
// a client: its socket is non-blocking, libssh is handed its bytes as they
// come, and a client not at the show within the login limit is dropped. The
// limits (viewers at once, by address, new in a minute) are the server's.
#pragma once
#include <cstdint>

#include "host/server/net_sockets.h"
#include "serve/address_limits.h"
#include "serve/frame_encodings.h"

struct ssh_setup {
    const char* listen = nullptr;     // [ADDRESS:]PORT
    const char* host_key = nullptr;   // the ed25519 host key's file, made when missing
    int capacity = 0;                 // ssh connections at once, those being refused included
    int token_base = 0;               // the poller's tokens from here: listeners, then connections
    int max_viewers = 0;              // admitted connections of every kind at once
    int* admitted = nullptr;          // the server's count of them
    address_limits* limits = nullptr; // the server's limits by address
    std::uint32_t* next_number = nullptr;  // the server's numbering of connections in the log
    bool proxy_protocol = false;      // each connection starts with a PROXY header
    bool code_page_bytes = false;     // the code page's own bytes to every terminal
    int stall_limit_s = 10;           // a viewer that takes nothing this long is dropped
    int login_limit_s = 30;           // from connecting to the show at most this long
};

// The poller's tokens the ssh side takes for capacity connections.
inline int ssh_token_count(int capacity) { return listener_capacity + capacity; }

// Reads or makes the host key, listens and watches the listeners (the poller
// is open); once, at start-up. False after one line on standard error.
bool ssh_viewers_start(const ssh_setup& setup);
// The poller's event for token (counted from token_base).
void ssh_viewers_event(int token, bool readable, bool writable, std::int64_t now_ns);
// Once a server tick: the waits and limits, then each viewer's frame.
void ssh_viewers_tick(std::int64_t tick, std::int64_t now_ns, frame_encodings& e);
// SIGTERM: no more connections; every viewer given back with a line saying
// why, the rest closed.
void ssh_viewers_stop();
// Connections still open.
int ssh_viewers_open();
// Closes what is left and frees libssh's part; at the end.
void ssh_viewers_end();
