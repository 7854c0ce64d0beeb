// The server's sockets: the listening ones for [ADDRESS:]PORT, accepting
// non-blocking connections, and addresses as the limits and the log want
// them (16 bytes, IPv4 as its IPv6 mapping; text with the port).
#pragma once
#include <cstdint>

#include "serve/proxy_header.h"

inline constexpr int listener_capacity = 4;   // a name may stand for several addresses
inline constexpr int address_text_capacity = 64;

struct peer_name {
    std::uint8_t address[16];  // IPv4 as ::ffff:a.b.c.d
    std::uint16_t port;
};

// Listens on where ("PORT" for every address, "ADDRESS:PORT", "[IPv6]:PORT";
// port 0 takes a free one, the same for every address of a name). Fills
// fds, returns how many; 0 with a one-line reason in why (why_size bytes).
int listen_on(const char* where, int* fds, char* why, int why_size);
// The address a listener has, as text ("127.0.0.1:4023", "[::]:4023").
void listener_name(int fd, char* text);
// Accepts one connection, non-blocking and close-on-exec, its send buffer
// capped so a client that stops reading holds little; -1 when none waits
// (errno says why). peer gets its address.
int accept_one(int listener, peer_name& peer);
// An address as text, with the port: 192.0.2.1:5555, [2001:db8::1]:5555.
void peer_text(const peer_name& peer, char* text);
// The client's own address from a PROXY header into peer; false, with peer
// as it was, where the header names none (LOCAL, UNKNOWN).
bool peer_from_proxy(peer_name& peer, const proxy_source& source);
