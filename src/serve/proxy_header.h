// The PROXY protocol's header, versions 1 (text) and 2 (binary), that a
// proxy in front (HAProxy's send-proxy, send-proxy-v2) sends before the
// client's first byte: the client's real address, so that the limits and
// the log see it rather than the proxy's. No system calls.
#pragma once
#include <cstdint>

inline constexpr int proxy_v1_limit = 107;   // the longest version 1 line, CRLF included
inline constexpr int proxy_v2_limit = 16 + 536;  // version 2: 16 bytes and the addresses with some TLVs

struct proxy_source {
    int family = 0;               // 4, 6, or 0: none given (LOCAL, UNKNOWN): the connection's own
    std::uint8_t address[16] = {};  // IPv4 in the first 4 bytes
    std::uint16_t port = 0;
};

// Reads a header at the start of bytes[0, n): its length once it is whole
// (the client's bytes follow it), 0 while more bytes are needed, -1 when
// the bytes are not a valid header (the connection is closed).
int proxy_header_read(const unsigned char* bytes, int n, proxy_source& source);

// Reads an IPv4 (dotted quad) or IPv6 (RFC 4291 text, :: and a trailing
// quad allowed) address of exactly n characters; family 0 when it is neither.
bool parse_ip_address(const char* text, int n, proxy_source& out);
