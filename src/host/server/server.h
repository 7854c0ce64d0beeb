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

#include "render/codepages.h"

struct serve_options {
    const char* listen = nullptr;    // [ADDRESS:]PORT, or none (ssh only)
    const char* web_dir = nullptr;   // the web page's folder (scripts/build-web.sh's output), or none
    bool code_page_bytes = false;    // the code page's own bytes to every terminal, not UTF-8
    int codepage = default_codepage;  // the glyphs' code page
    int max_viewers = 1000;          // connections at once
    int max_per_address = 10;        // connections at once from one address
    int max_new_per_minute = 60;     // new connections from one address in a minute
    int stall_limit_s = 10;          // a viewer that takes nothing this long is dropped
    bool proxy_protocol = false;     // each connection starts with a PROXY header (v1 or v2)
    const char* ssh_listen = nullptr;    // [ADDRESS:]PORT for ssh (ssh_viewers.h), or none
    const char* ssh_host_key = nullptr;  // the ssh host key's file, made when missing
    int ssh_login_limit_s = 30;          // an ssh client not at the show this long after connecting is dropped
};

// Serves until SIGTERM or SIGINT, then gives every viewer's terminal back
// and closes them within a second; returns the exit status (0; 1 when it
// could not start, after one line on standard error).
int serve_show(const serve_options& options);
