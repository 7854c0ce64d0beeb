// What the ssh side is given at start-up: where it listens, its host key,
// its room, and the server's limits and counts it shares.
#pragma once
#include <cstdint>

#include "host/server/net_sockets.h"
#include "serve/address_limits.h"

// Given once, to ssh_viewers_start.
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
