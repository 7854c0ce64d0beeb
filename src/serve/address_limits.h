// What one address may take of the server: at most max_per_address
// connections at once, and at most max_new_per_minute new ones in any minute
// (spread evenly, with that many at once allowed). Addresses are 16 bytes,
// an IPv4 address as its IPv6 mapping. The table is allocated once; an
// address is forgotten once it holds nothing and its minute has passed. No
// system calls: the times are given.
#pragma once
#include <cstdint>

struct address_entry {
    std::uint8_t address[16];
    int live;                 // connections open now
    std::int64_t next_free_ns;  // the new-connection allowance is whole again from then
    bool used;
};

struct address_limits {
    int max_per_address;
    int max_new_per_minute;
    int capacity;             // entries: a power of two
    int count;                // entries in use
    address_entry* entries;
    address_entry* spare;     // the table a purge rebuilds into
};

// Allocates room for about room addresses at once (kept and recent).
void limits_init(address_limits& l, int max_per_address, int max_new_per_minute, int room);
// A new connection from address at now: nullptr when it may stay (and is
// counted), else the reason it may not, as one line.
const char* limits_admit(address_limits& l, const std::uint8_t* address, std::int64_t now_ns);
// A connection admitted from address has closed.
void limits_release(address_limits& l, const std::uint8_t* address);
// Forgets the addresses that hold nothing any more; now and then (a second).
void limits_purge(address_limits& l, std::int64_t now_ns);
