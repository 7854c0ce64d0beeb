#include "serve/frame_encodings.h"

#include <cstring>

#include "base/process_exit.h"
#include "serve/telnet_protocol.h"
#include "terminal/link_pacing.h"

namespace {

// After each frame of a plain stream the cursor goes below the grid (or to
// its last row, in a terminal of 25 rows): there it is out of the picture,
// and the shell's prompt lands under the show when the viewer stops curl.
constexpr char park_cursor[] = "\x1b[26H";

// A BBS terminal acts on these code-page bytes (bell, backspace, tab, line
// feed, form feed, carriage return, escape) instead of drawing them: each is
// sent as a byte of a like shape that it draws.
constexpr std::uint8_t acted_on[][2] = {{7, 0xF9}, {8, 0xDB}, {9, 'o'}, {10, 0xDB}, {12, '+'}, {13, 0x0E}, {27, 0x11}};

void use_code_page_bytes(ansi_encoder& e)
{
    for (int b = 0; b < 256; ++b) {
        e.glyph_bytes[b][0] = static_cast<std::uint8_t>(b);
        e.glyph_length[b] = 1;
    }
    for (const auto& pair : acted_on) e.glyph_bytes[pair[0]][0] = pair[1];
}

int color_code(int color) { return color == 24 ? 2 : color == 256 ? 1 : 0; }

ansi_encoder& kind_encoder(frame_encodings& e, int kind)
{
    GLIM_ASSERT(kind >= 0 && kind < output_kind_count);
    ansi_encoder& k = e.kinds[kind];
    if (!e.kind_ready[kind]) {
        const output_kind o = output_kind_at(kind);
        encoder_init(k, e.codepage, o.color, screen_width, screen_height);
        k.erase_in_color = o.erase_in_color;
        if (o.raw_bytes) use_code_page_bytes(k);
        e.kind_ready[kind] = true;
    }
    return k;
}

// Telnet's framing, or the bytes as they are, at out; their length.
int framed(const output_kind& o, const char* bytes, int n, char* out)
{
    if (o.telnet) return telnet_frame(bytes, n, out);
    std::memcpy(out, bytes, static_cast<std::size_t>(n));
    return n;
}

std::uint64_t key_of(int kind, int columns, int rows, int from, int to)
{
    const auto field = [](int v, int bits) { return static_cast<std::uint64_t>(v) & ((std::uint64_t{1} << bits) - 1); };
    return 1 | field(kind, 6) << 1 | field(columns, 14) << 7 | field(rows, 14) << 21 | field(from + 1, 14) << 35 |
           field(to, 14) << 49;
}

}  // namespace

int output_kind_index(const output_kind& o)
{
    return color_code(o.color) * 16 + (o.raw_bytes ? 8 : 0) + (o.erase_in_color ? 4 : 0) + (o.telnet ? 2 : 0) +
           (o.stream ? 1 : 0);
}

output_kind output_kind_at(int index)
{
    output_kind o;
    const int colors[3] = {16, 256, 24};
    o.color = colors[index / 16 % 3];
    o.raw_bytes = index & 8;
    o.erase_in_color = index & 4;
    o.telnet = index & 2;
    o.stream = index & 1;
    return o;
}

int color_for_term(const char* term)
{
    if (std::strstr(term, "truecolor") || std::strstr(term, "24bit") || std::strstr(term, "-direct")) return 24;
    if (std::strstr(term, "256color")) return 256;
    return 16;
}

bool raw_bytes_for_term(const char* term)
{
    return !std::strcmp(term, "ansi") || !std::strcmp(term, "ansi-bbs") || !std::strcmp(term, "pcansi");
}

void encodings_init(frame_encodings& e, const show_frames& frames, int codepage)
{
    e.frames = &frames;
    e.codepage = codepage;
    for (bool& ready : e.kind_ready) ready = false;
    if (!e.arena) {
        e.arena = new char[encoding_arena_bytes];  // once a process
        e.spill = new char[encoding_capacity];
        e.plain = new char[ansi_frame_capacity];
    }
    std::memset(e.keys, 0, sizeof e.keys);
    e.used = 0;
    e.made = e.shared = 0;
}

void encodings_new_tick(frame_encodings& e)
{
    if (e.made > 0) std::memset(e.keys, 0, sizeof e.keys);
    e.used = 0;
    e.made = e.shared = 0;
}

encoding encodings_get(frame_encodings& e, int kind, int columns, int rows, int from, int to)
{
    GLIM_ASSERT(to >= 0 && to < frame_table_size && from >= frame_unknown && from < frame_table_size);
    GLIM_ASSERT(columns >= screen_width && rows >= screen_height && columns < 16384 && rows < 16384);
    const std::uint64_t key = key_of(kind, columns, rows, from, to);
    int slot = -1;
    for (int probe = 0; probe < 16; ++probe) {
        const int i = static_cast<int>((key * 0x9E3779B97F4A7C15ull >> 40) + probe) & (encoding_slots - 1);
        if (e.keys[i] == key) {
            ++e.shared;
            return {e.arena + e.offsets[i], e.lengths[i]};
        }
        if (e.keys[i] == 0) {
            slot = i;
            break;
        }
    }
    ansi_encoder& w = e.work;
    w = kind_encoder(e, kind);
    encoder_resize(w, columns, rows);
    if (from != frame_unknown) {
        const screen_cell* had = frame_cells(*e.frames, from);
        for (int i = 0; i < screen_cells; ++i) w.front[i] = cell_look(w, had[i]);
        w.front_valid = true;
    }
    w.sgr_fg = w.sgr_bg = -1;  // the colours, like the cursor, as if not known
    int n = encode_frame(w, frame_cells(*e.frames, to), e.plain);
    const output_kind o = output_kind_at(kind);
    if (o.stream) {
        const int park = static_cast<int>(sizeof park_cursor) - 1;
        GLIM_ASSERT(n + park <= ansi_frame_capacity);
        std::memcpy(e.plain + n, park_cursor, park);
        n += park;
    }
    ++e.made;
    const bool room = slot >= 0 && e.used + 2 * n + status_request_length <= encoding_arena_bytes;
    char* out = room ? e.arena + e.used : e.spill;
    const int length = framed(o, e.plain, n, out);
    std::memcpy(out + length, status_request, status_request_length);
    if (room) {
        e.keys[slot] = key;
        e.offsets[slot] = e.used;
        e.lengths[slot] = length;
        e.used += length + status_request_length;
    }
    return {out, length};
}

int encodings_size_message(frame_encodings& e, int kind, int columns, int rows, char* out)
{
    ansi_encoder& w = e.work;
    w = kind_encoder(e, kind);
    encoder_resize(w, columns, rows);
    const int n = encode_size_message(w, e.plain);
    return framed(output_kind_at(kind), e.plain, n, out);
}
