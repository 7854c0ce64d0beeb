// What a client sends, by its connection's stage: a PROXY header, the first
// bytes that tell a telnet client, netcat and HTTP apart, telnet's
// negotiation, an HTTP request and its answer, and a viewer's keys.
#pragma once
#include <cstdint>

#include "host/server/server_connections.h"

// Reads what c's socket has (a wake-up's worth) and acts on it; the
// client's end of input closes what it ends.
void on_readable(connection& c, std::int64_t now);
// Sends telnet's offers and waits for the answer.
void offer_telnet(connection& c, std::int64_t now);
// The show begins: for a telnet client (telnet true) as its type and size
// say, else as the stream netcat gets.
void start_viewer(connection& c, bool telnet, std::int64_t now);
