// Which kind of client is on a new connection, from what it sends first.
// HTTP clients speak at once with a request; a telnet client answers the
// server's offers (or makes its own) with IAC; Debian's telnet on a port
// other than 23 and netcat say nothing until spoken to. No system calls:
// the host keeps the clock (first_bytes_wait_ms, telnet_answer_wait_ms).
#pragma once

// How long a silent connection is given to start a request, before the
// server makes its telnet offers.
inline constexpr int first_bytes_wait_ms = 250;
// How long after the offers an answer makes it telnet; else it is raw.
inline constexpr int telnet_answer_wait_ms = 1000;
// How long a telnet client is given to say its size and terminal type.
inline constexpr int telnet_settle_ms = 1000;
// An HTTP request must be whole this soon after the connection.
inline constexpr int http_request_wait_ms = 5000;

enum first_bytes_kind {
    first_bytes_unsure,  // nothing yet, or the start of a request method: wait for more
    first_bytes_http,    // a request method and a space
    first_bytes_telnet,  // IAC: a telnet client that negotiates first
    first_bytes_other,   // anything else (keys, garbage): not HTTP
};

first_bytes_kind first_bytes_sniff(const unsigned char* bytes, int n);
