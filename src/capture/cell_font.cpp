#include "capture/cell_font.h"

#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/printable.h"
#include "render/codepages.h"

namespace {

constexpr std::uint16_t soft_hyphen = 0x00AD;
constexpr int hyphen_byte = 0x2D;  // '-' in every supported code page

int hex_digit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// One line of a .hex font: "XXXX:" then 32 (8 wide) or 64 (16 wide) hex
// digits. Returns the code point and the digit count, or -1 for anything else.
long parse_line(const char* line, const char** digits, int* count)
{
    long code = 0;
    int n = 0;
    for (; line[n] != ':'; ++n) {
        const int d = hex_digit(line[n]);
        if (d < 0 || n >= 6) return -1;
        code = code * 16 + d;
    }
    if (n < 4) return -1;
    *digits = line + n + 1;
    int k = 0;
    while (hex_digit((*digits)[k]) >= 0) ++k;
    const char* rest = *digits + k;
    if (*rest == '\r') ++rest;
    if ((*rest != '\n' && *rest != '\0') || (k != 32 && k != 64)) return -1;
    *count = k;
    return code;
}

}  // namespace

bool font_load(cell_font& font, const char* path, int codepage, char* why, int size)
{
    const std::uint16_t* table = codepage_table(codepage);
    if (!table) {
        std::snprintf(why, static_cast<std::size_t>(size), "code page %d is not known", codepage);
        return false;
    }
    gzFile in = gzopen(path, "rb");
    if (!in) {
        std::snprintf(why, static_cast<std::size_t>(size), "cannot read the font '%s': %s", printable(path),
                      errno ? std::strerror(errno) : "out of memory");
        return false;
    }
    bool found[256] = {};
    bool wide[256] = {};
    char line[256];
    long number = 0;
    bool bad = false;
    while (gzgets(in, line, sizeof line)) {
        ++number;
        if (line[0] == '\n') continue;
        const char* digits = nullptr;
        int count = 0;
        const long code = parse_line(line, &digits, &count);
        if (code < 0) {
            bad = true;
            break;
        }
        for (int b = 0; b < 256; ++b) {
            if (table[b] != code) continue;
            if (count != 32) {
                wide[b] = true;
                continue;
            }
            for (int r = 0; r < glyph_height; ++r)
                font.rows[b][r] = static_cast<std::uint8_t>(hex_digit(digits[2 * r]) * 16 + hex_digit(digits[2 * r + 1]));
            found[b] = true;
        }
    }
    int gz_error = 0;
    const char* gz_message = gzerror(in, &gz_error);
    if (!bad && gz_error != Z_OK && gz_error != Z_STREAM_END) {
        std::snprintf(why, static_cast<std::size_t>(size), "cannot read the font '%s': %s", printable(path),
                      gz_error == Z_ERRNO ? std::strerror(errno) : gz_message);
        gzclose(in);
        return false;
    }
    gzclose(in);
    if (bad || number == 0) {
        std::snprintf(why, static_cast<std::size_t>(size),
                      "'%s' is not a font in the .hex format (line %ld is not \"code:glyph bits\")",
                      printable(path), number == 0 ? 1 : number);
        return false;
    }
    // Unifont draws the soft hyphen as a wide picture of its name; a console
    // font shows it as the hyphen it stands for.
    for (int b = 0; b < 256; ++b) {
        if (found[b] || table[b] != soft_hyphen || !found[hyphen_byte]) continue;
        std::memcpy(font.rows[b], font.rows[hyphen_byte], glyph_height);
        found[b] = true;
    }
    for (int b = 0; b < 256; ++b) {
        if (found[b]) continue;
        std::snprintf(why, static_cast<std::size_t>(size),
                      "the font '%s' has no %s glyph for U+%04X (byte 0x%02X of code page %d)", printable(path),
                      wide[b] ? "narrow (8 x 16)" : "8 x 16", table[b], b, codepage);
        return false;
    }
    return true;
}
