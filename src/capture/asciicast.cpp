#include "capture/asciicast.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "capture/asciicast_file.h"
#include "render/ascii_render.h"

namespace {

constexpr int offset_shift = 24;
constexpr std::uint64_t length_mask = (std::uint64_t{1} << offset_shift) - 1;
static_assert(cast_buffer_size <= static_cast<int>(length_mask));
constexpr std::size_t flush_due = cast_buffer_size / 4;   // in cast_write_due
constexpr std::size_t flush_at = cast_buffer_size / 4 * 3;  // in cast_output
constexpr std::size_t head_room = 48;  // [seconds, "o", "
constexpr std::size_t unit_room = 9;   // the longest character (\u001b) and the line's end "]\n
constexpr std::size_t header_string_limit = 256;  // bytes of TERM or SHELL kept in the header
constexpr char replacement[] = "\xEF\xBF\xBD";    // U+FFFD

std::uint64_t pack(std::uint64_t offset, std::uint64_t length) { return offset << offset_shift | length; }

// Writes the whole lines out and empties the buffer. A signal handler that
// runs between the write and the new state writes the same bytes to the same
// place again, which does no harm.
void flush(cast_file& cast)
{
    const std::uint64_t s = cast.state.load();
    const std::uint64_t offset = s >> offset_shift, length = s & length_mask;
    if (length == 0 || cast.fd < 0) return;
    const int saved_errno = errno;
    if (!cast_file_write_at(cast.fd, cast.buffer, length, offset)) cast.failed = true;
    errno = saved_errno;
    cast.state.store(pack(offset + length, 0));
}

void commit(cast_file& cast, std::size_t length)
{
    cast.state.store(pack(cast.state.load() >> offset_shift, length));
}

// Length of the valid UTF-8 sequence at p (1..4); 0 when the bytes there are
// not UTF-8 (overlong forms and surrogates included); -1 when the n bytes
// there are the valid start of a sequence that goes on past them.
int utf8_length(const unsigned char* p, std::size_t n)
{
    const unsigned char b = p[0];
    if (b < 0x80) return 1;
    int length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        if (b == 0xE0) low = 0xA0;
        if (b == 0xED) high = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        if (b == 0xF0) low = 0x90;
        if (b == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    for (int i = 1; i < length; ++i) {
        if (static_cast<std::size_t>(i) >= n) return -1;
        if (p[i] < low || p[i] > high) return 0;
        low = 0x80;
        high = 0xBF;
    }
    return length;
}

// One ASCII character as a JSON string holds it; returns the bytes written (1..6).
int put_ascii(char* out, unsigned char c)
{
    static constexpr char hex[] = "0123456789abcdef";
    char short_form = 0;
    switch (c) {
    case '"': short_form = '"'; break;
    case '\\': short_form = '\\'; break;
    case '\b': short_form = 'b'; break;
    case '\f': short_form = 'f'; break;
    case '\n': short_form = 'n'; break;
    case '\r': short_form = 'r'; break;
    case '\t': short_form = 't'; break;
    default: break;
    }
    if (short_form) {
        out[0] = '\\';
        out[1] = short_form;
        return 2;
    }
    if (c < 0x20) {
        std::memcpy(out, "\\u00", 4);
        out[4] = hex[c >> 4];
        out[5] = hex[c & 15];
        return 6;
    }
    out[0] = static_cast<char>(c);
    return 1;
}

// Appends text, escaped and made valid, to out at pos; out has room for it.
std::size_t put_string(char* out, std::size_t pos, const char* text, std::size_t limit)
{
    const auto* in = reinterpret_cast<const unsigned char*>(text);
    const std::size_t n = strnlen(text, limit);
    out[pos++] = '"';
    for (std::size_t i = 0; i < n;) {
        const int length = utf8_length(in + i, n - i);
        if (length == 1) {
            pos += static_cast<std::size_t>(put_ascii(out + pos, in[i]));
        } else if (length > 1) {
            std::memcpy(out + pos, in + i, static_cast<std::size_t>(length));
            pos += static_cast<std::size_t>(length);
        } else {
            std::memcpy(out + pos, replacement, 3);
            pos += 3;
        }
        i += length > 0 ? static_cast<std::size_t>(length) : 1;
    }
    out[pos++] = '"';
    return pos;
}

// Writes a number in decimal at pos; no stdio, for signal handlers.
std::size_t put_decimal(char* out, std::size_t pos, std::int64_t value)
{
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value > 0);
    while (n > 0) out[pos++] = digits[--n];
    return pos;
}

// Writes "[seconds, \"o\", \"" (or another type) at pos: whole microseconds,
// trailing zeros dropped as asciinema's own recorder writes them (0.02, 1.0).
std::size_t start_event(char* out, std::size_t pos, std::int64_t time_us, char type = 'o')
{
    if (time_us < 0) time_us = 0;
    out[pos++] = '[';
    pos = put_decimal(out, pos, time_us / 1000000);
    out[pos++] = '.';
    int fraction = static_cast<int>(time_us % 1000000);
    int places = 6;
    while (places > 1 && fraction % 10 == 0) {
        fraction /= 10;
        --places;
    }
    for (int i = places - 1; i >= 0; --i, fraction /= 10)
        out[pos + static_cast<std::size_t>(i)] = static_cast<char>('0' + fraction % 10);
    pos += static_cast<std::size_t>(places);
    std::memcpy(out + pos, ", \"o\", \"", 8);
    out[pos + 3] = type;
    return pos + 8;
}

std::size_t end_event(char* out, std::size_t pos)
{
    std::memcpy(out + pos, "\"]\n", 3);
    return pos + 3;
}

// The console numbers its colours blue-green-red, ANSI red-green-blue: ANSI
// colour a is console colour console_of_ansi[a] (and a + 8 is that + 8).
constexpr int console_of_ansi[8] = {0, 4, 2, 6, 1, 5, 3, 7};

// Writes "#rrggbb" of a console colour at pos.
std::size_t put_colour(char* out, std::size_t pos, int colour)
{
    static constexpr char hex[] = "0123456789abcdef";
    out[pos++] = '#';
    for (const std::uint8_t level : console_rgb[colour]) {
        out[pos++] = hex[level >> 4];
        out[pos++] = hex[level & 15];
    }
    return pos;
}

// Writes the "theme" member: the console's light grey on black and its
// sixteen colours in ANSI order, so that a player shows the show's own colours
// for the 16-colour stream rather than its own theme's.
std::size_t put_theme(char* out, std::size_t pos)
{
    const auto put_text = [&](const char* text) {
        const std::size_t n = std::strlen(text);
        std::memcpy(out + pos, text, n);
        pos += n;
    };
    put_text(", \"theme\": {\"fg\": \"");
    pos = put_colour(out, pos, 7);
    put_text("\", \"bg\": \"");
    pos = put_colour(out, pos, 0);
    put_text("\", \"palette\": \"");
    for (int a = 0; a < 16; ++a) {
        if (a > 0) out[pos++] = ':';
        pos = put_colour(out, pos, (a & 8) + console_of_ansi[a & 7]);
    }
    put_text("\"}");
    return pos;
}

void open_exclusive(void* context)
{
    cast_file& cast = *static_cast<cast_file*>(context);
    cast.fd = cast_file_create(cast.temp_path);
    if (cast.fd >= 0) cast.open = true;
}

}  // namespace

bool cast_open(cast_file& cast, const char* path)
{
    if (const int refused = cast_file_check_target(path)) {
        errno = refused;
        return false;
    }
    const int n = std::snprintf(cast.temp_path, sizeof cast.temp_path, "%s.%ld.tmp", path,
                                cast_file_process_id());
    if (std::strlen(path) >= sizeof cast.path || n < 0 || n >= static_cast<int>(sizeof cast.temp_path)) {
        errno = ENAMETOOLONG;
        return false;
    }
    std::strcpy(cast.path, path);
    cast.state = 0;
    cast.held_count = 0;
    cast.failed = false;
    // Made and marked open at once: a signal in between would leave the file.
    cast_file_exclusive(open_exclusive, &cast);
    return cast.open;
}

void cast_write_header(cast_file& cast, const cast_header& h)
{
    char* out = cast.buffer;
    std::size_t pos = static_cast<std::size_t>(
        std::snprintf(out, 160, "{\"version\": 2, \"width\": %d, \"height\": %d, \"timestamp\": %lld, "
                                "\"idle_time_limit\": %d, \"title\": ",
                      h.width, h.height, static_cast<long long>(h.timestamp), h.idle_time_limit));
    pos = put_string(out, pos, h.title, header_string_limit);
    std::memcpy(out + pos, ", \"env\": {", 10);
    pos += 10;
    const char* names[2] = {"TERM", "SHELL"};
    const char* values[2] = {h.term, h.shell};
    bool first = true;
    for (int i = 0; i < 2; ++i) {
        if (!values[i]) continue;
        if (!first) out[pos++] = ',', out[pos++] = ' ';
        first = false;
        pos = put_string(out, pos, names[i], header_string_limit);
        out[pos++] = ':';
        out[pos++] = ' ';
        pos = put_string(out, pos, values[i], header_string_limit);
    }
    out[pos++] = '}';
    pos = put_theme(out, pos);
    std::memcpy(out + pos, "}\n", 2);
    commit(cast, pos + 2);
}

void cast_output(cast_file& cast, std::int64_t time_us, const char* bytes, std::size_t n)
{
    if (!cast.open.load() || cast.failed.load() || n == 0) return;
    const auto* in = reinterpret_cast<const unsigned char*>(bytes);
    char* out = cast.buffer;
    // Built past the whole lines; a signal handler that interrupts this
    // writes only those and builds its own event over this one.
    std::size_t pos = cast.state.load() & length_mask;
    if (pos + head_room + unit_room > cast_buffer_size) {
        flush(cast);
        pos = 0;
    }
    pos = start_event(out, pos, time_us);
    std::size_t i = 0;
    if (cast.held_count > 0) {
        // The end of the last write and the start of this one make one character.
        unsigned char joined[8];
        const std::size_t held = static_cast<std::size_t>(cast.held_count) & 3;
        const std::size_t more = n < 4 - held ? n : 4 - held;
        std::memcpy(joined, cast.held, held);
        std::memcpy(joined + held, in, more);
        cast.held_count = 0;
        const int length = utf8_length(joined, held + more);
        if (length > 0) {
            std::memcpy(out + pos, joined, static_cast<std::size_t>(length));
            pos += static_cast<std::size_t>(length);
            i = static_cast<std::size_t>(length) - held;
        } else if (length < 0) {  // still cut off: all of this write waits too
            std::memcpy(cast.held, joined, held + more);
            cast.held_count = static_cast<int>(held + more);
            i = n;
        } else {
            std::memcpy(out + pos, replacement, 3);
            pos += 3;
        }
    }
    while (i < n) {
        if (pos + unit_room > cast_buffer_size) {
            // A write larger than the buffer goes on in another event at the same time.
            commit(cast, end_event(out, pos));
            flush(cast);
            pos = start_event(out, 0, time_us);
        }
        const int length = utf8_length(in + i, n - i);
        if (length == 1) {
            pos += static_cast<std::size_t>(put_ascii(out + pos, in[i]));
            ++i;
        } else if (length > 1) {
            std::memcpy(out + pos, in + i, static_cast<std::size_t>(length));
            pos += static_cast<std::size_t>(length);
            i += static_cast<std::size_t>(length);
        } else if (length < 0) {
            std::memcpy(cast.held, in + i, n - i);
            cast.held_count = static_cast<int>(n - i);
            break;
        } else {
            std::memcpy(out + pos, replacement, 3);
            pos += 3;
            ++i;
        }
    }
    pos = end_event(out, pos);
    commit(cast, pos);
    if (pos >= flush_at) flush(cast);
}

void cast_write_due(cast_file& cast)
{
    if (cast.open.load() && (cast.state.load() & length_mask) >= flush_due) flush(cast);
}

void cast_resize(cast_file& cast, std::int64_t time_us, int columns, int rows)
{
    if (!cast.open.load() || cast.failed.load()) return;
    std::size_t pos = cast.state.load() & length_mask;
    if (pos + head_room + 32 > cast_buffer_size) {
        flush(cast);
        pos = 0;
    }
    pos = start_event(cast.buffer, pos, time_us, 'r');
    pos = put_decimal(cast.buffer, pos, columns < 0 ? 0 : columns);
    cast.buffer[pos++] = 'x';
    pos = put_decimal(cast.buffer, pos, rows < 0 ? 0 : rows);
    commit(cast, end_event(cast.buffer, pos));
}

namespace {

struct finish_call {
    cast_file& cast;
    bool keep;  // finish when true; discard when false
    bool done;
};

void finish_exclusive(void* context)
{
    finish_call& call = *static_cast<finish_call*>(context);
    cast_file& cast = call.cast;
    const int saved_errno = errno;
    if (cast.open.exchange(false)) {
        if (call.keep) flush(cast);
        // A file system may report a failed write only at the close.
        if (!cast_file_close(cast.fd)) cast.failed = true;
        cast.fd = -1;
        call.done = call.keep && !cast.failed && cast_file_replace(cast.temp_path, cast.path);
        if (!call.done) cast_file_remove(cast.temp_path);
    }
    errno = saved_errno;
}

}  // namespace

bool cast_finish(cast_file& cast)
{
    finish_call call{cast, true, false};
    cast_file_exclusive(finish_exclusive, &call);
    return call.done;
}

void cast_discard(cast_file& cast)
{
    finish_call call{cast, false, false};
    cast_file_exclusive(finish_exclusive, &call);
}
