// The show served over the network to many viewers at once from one
// process: telnet, raw TCP (netcat) and HTTP (curl, wget, a browser) on one
// port, told apart by what they send first (serve/first_bytes.h), and ssh
// on a port of its own (ssh_viewers.h). Sockets are non-blocking and one
// thread waits on them all (epoll); every frame a tick sends each viewer
// the frame its showing is at, the bytes made once for all viewers at the
// same place (serve/frame_encodings.h). A viewer who
// does not take them is skipped to the newest frame, never queued more
// than a frame, and dropped after the stall limit. The show is rendered
// once, at start-up, into a table of frames (serve/show_frames.h).
#pragma once

#include "host/server/serve_options.h"

// Serves until SIGTERM or SIGINT, then gives every viewer's terminal back
// and closes them within a second; returns the exit status (0; 1 when it
// could not start, after one line on standard error).
int serve_show(const serve_options& options);
