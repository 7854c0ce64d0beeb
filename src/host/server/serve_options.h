// What the show's server is told at start-up: where it listens (for telnet,
// netcat and HTTP, and for ssh), what it sends, and the limits it keeps.
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
