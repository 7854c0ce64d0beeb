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

#include "host/server/ssh_setup.h"
#include "serve/frame_encodings.h"

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
