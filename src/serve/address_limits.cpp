#include "serve/address_limits.h"

#include <cstring>

namespace {

constexpr std::int64_t minute_ns = 60000000000;
constexpr int longest_probe = 64;

std::uint32_t hash_of(const std::uint8_t* a)
{
    std::uint32_t h = 2166136261u;  // FNV-1a
    for (int i = 0; i < 16; ++i) h = (h ^ a[i]) * 16777619u;
    return h;
}

address_entry* find(address_limits& l, const std::uint8_t* a)
{
    const std::uint32_t h = hash_of(a);
    for (int p = 0; p < longest_probe; ++p) {
        address_entry& e = l.entries[(h + static_cast<std::uint32_t>(p)) & static_cast<std::uint32_t>(l.capacity - 1)];
        if (!e.used) return nullptr;
        if (std::memcmp(e.address, a, 16) == 0) return &e;
    }
    return nullptr;
}

address_entry* add(address_limits& l, const std::uint8_t* a)
{
    const std::uint32_t h = hash_of(a);
    for (int p = 0; p < longest_probe; ++p) {
        address_entry& e = l.entries[(h + static_cast<std::uint32_t>(p)) & static_cast<std::uint32_t>(l.capacity - 1)];
        if (e.used) continue;
        e = address_entry{};
        std::memcpy(e.address, a, 16);
        e.used = true;
        ++l.count;
        return &e;
    }
    return nullptr;
}

}  // namespace

void limits_init(address_limits& l, int max_per_address, int max_new_per_minute, int room)
{
    l.max_per_address = max_per_address;
    l.max_new_per_minute = max_new_per_minute;
    l.capacity = 1024;
    while (l.capacity < 2 * room) l.capacity *= 2;
    l.count = 0;
    l.entries = new address_entry[static_cast<std::size_t>(l.capacity)]();  // once
    l.spare = new address_entry[static_cast<std::size_t>(l.capacity)]();
}

const char* limits_admit(address_limits& l, const std::uint8_t* address, std::int64_t now_ns)
{
    address_entry* e = find(l, address);
    if (!e && !(e = add(l, address))) return "the server is tracking too many addresses; try again later";
    if (e->live >= l.max_per_address) return "too many connections from your address";
    // Each new connection takes a minute's share; a minute's worth may come at once.
    const std::int64_t share = minute_ns / (l.max_new_per_minute > 0 ? l.max_new_per_minute : 1);
    const std::int64_t from = e->next_free_ns > now_ns ? e->next_free_ns : now_ns;
    if (l.max_new_per_minute <= 0 || from + share - now_ns > minute_ns)
        return "too many new connections from your address this minute";
    e->next_free_ns = from + share;
    ++e->live;
    return nullptr;
}

void limits_release(address_limits& l, const std::uint8_t* address)
{
    if (address_entry* e = find(l, address); e && e->live > 0) --e->live;
}

void limits_purge(address_limits& l, std::int64_t now_ns)
{
    // Removing from an open table breaks the probe chains past it: the
    // entries that stay are put back in a rebuilt table instead.
    int kept = 0;
    for (int i = 0; i < l.capacity; ++i) {
        address_entry& e = l.entries[i];
        if (e.used && (e.live > 0 || e.next_free_ns > now_ns)) ++kept;
    }
    if (kept == l.count) return;
    address_entry* old = l.entries;
    l.entries = l.spare;
    l.spare = old;
    std::memset(l.entries, 0, sizeof(address_entry) * static_cast<std::size_t>(l.capacity));
    l.count = 0;
    for (int i = 0; i < l.capacity; ++i) {
        const address_entry& e = old[i];
        if (!e.used || (e.live == 0 && e.next_free_ns <= now_ns)) continue;
        if (address_entry* n = add(l, e.address)) {
            n->live = e.live;
            n->next_free_ns = e.next_free_ns;
        }
    }
}
