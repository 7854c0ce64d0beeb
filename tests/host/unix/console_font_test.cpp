// The stand-ins for the Linux console's missing glyphs, against the unicode
// tables of Debian's console fonts as installed (console-setup-linux), and the
// console's own map where this machine has a console to read.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "terminal/ansi_encoder.h"
#include "host/unix/console_font.h"
#include "render/codepages.h"
#include "render/glyph_fallback.h"

namespace {

const char font_folder[] = "/usr/share/consolefonts";

struct console_font {
    std::string name;
    glyph_set glyphs;
};

std::string gunzip(const std::string& path)
{
    std::string data;
    gzFile f = gzopen(path.c_str(), "rb");
    if (!f) return data;
    char chunk[65536];
    int n = 0;
    while ((n = gzread(f, chunk, sizeof chunk)) > 0) data.append(chunk, static_cast<std::size_t>(n));
    gzclose(f);
    return data;
}

// The code points of a PSF font's unicode table (version 1: 16-bit entries,
// version 2: UTF-8), each glyph's list ended by FFFF / FF. What follows a
// sequence mark (FFFE / FE) in a list is a combining sequence, not a glyph of
// its own. False when the file is no PSF font with a table.
bool read_psf(const std::string& d, glyph_set& set)
{
    std::memset(set.bits, 0, sizeof set.bits);
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(d[i]); };
    const auto u32 = [&](std::size_t i) {
        return byte(i) | byte(i + 1) << 8 | byte(i + 2) << 16 | static_cast<std::uint32_t>(byte(i + 3)) << 24;
    };
    if (d.size() >= 4 && byte(0) == 0x36 && byte(1) == 0x04) {
        const unsigned mode = byte(2), glyph_bytes = byte(3), count = mode & 1 ? 512 : 256;
        if (!(mode & 6)) return false;
        bool in_sequence = false;
        for (std::size_t i = 4 + std::size_t{count} * glyph_bytes; i + 1 < d.size(); i += 2) {
            const unsigned u = byte(i) | byte(i + 1) << 8;
            if (u == 0xFFFF) in_sequence = false;
            else if (u == 0xFFFE) in_sequence = true;
            else if (!in_sequence) glyph_set_add(set, u);
        }
        return true;
    }
    if (d.size() >= 32 && byte(0) == 0x72 && byte(1) == 0xB5 && byte(2) == 0x4A && byte(3) == 0x86) {
        if (!(u32(12) & 1)) return false;
        bool in_sequence = false;
        for (std::size_t i = u32(8) + std::size_t{u32(16)} * u32(20); i < d.size();) {
            const unsigned b = byte(i);
            if (b == 0xFF || b == 0xFE) {
                in_sequence = b == 0xFE;
                ++i;
                continue;
            }
            const int length = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
            unsigned u = length == 1 ? b : b & (0x7F >> length);
            for (int k = 1; k < length && i + k < d.size(); ++k) u = u << 6 | (byte(i + k) & 0x3F);
            if (!in_sequence) glyph_set_add(set, u);
            i += static_cast<std::size_t>(length);
        }
        return true;
    }
    return false;
}

// Debian's console fonts for the Latin alphabets: every face and size of the
// code sets Lat15, Lat2, Lat38, Lat7 and Uni1-3.
const std::vector<console_font>& latin_fonts()
{
    static std::vector<console_font> fonts;
    if (!fonts.empty() || !std::filesystem::is_directory(font_folder)) return fonts;
    for (const auto& entry : std::filesystem::directory_iterator(font_folder)) {
        const std::string name = entry.path().filename().string();
        bool latin = false;
        for (const char* set : {"Lat15-", "Lat2-", "Lat38-", "Lat7-", "Uni1-", "Uni2-", "Uni3-"})
            latin = latin || name.rfind(set, 0) == 0;
        if (!latin || name.size() < 7 || name.compare(name.size() - 7, 7, ".psf.gz") != 0) continue;
        fonts.push_back({name, {}});
        if (!read_psf(gunzip(entry.path().string()), fonts.back().glyphs)) {
            ADD_FAILURE() << name << ": no PSF font with a unicode table";
            fonts.pop_back();
        }
    }
    return fonts;
}

const console_font* font_named(const std::string& name)
{
    for (const console_font& f : latin_fonts())
        if (f.name == name + ".psf.gz") return &f;
    return nullptr;
}

std::string utf8(unsigned u)
{
    std::string s;
    if (u < 0x80) {
        s += static_cast<char>(u);
    } else if (u < 0x800) {
        s += static_cast<char>(0xC0 | u >> 6);
        s += static_cast<char>(0x80 | (u & 0x3F));
    } else {
        s += static_cast<char>(0xE0 | u >> 12);
        s += static_cast<char>(0x80 | (u >> 6 & 0x3F));
        s += static_cast<char>(0x80 | (u & 0x3F));
    }
    return s;
}

TEST(console_font, every_character_of_every_code_page_has_a_glyph_in_every_debian_latin_font)
{
    const std::vector<console_font>& fonts = latin_fonts();
    ASSERT_GE(fonts.size(), 100u) << "Debian's console fonts are not in " << font_folder
                                  << " (install console-setup-linux)";
    glyph_set common;
    glyph_set_common(common);
    for (int codepage : {437, 850, 865}) {
        const std::uint16_t* table = codepage_table(codepage);
        for (int b = 0; b < 256; ++b) {
            const std::uint16_t assumed = glyph_stand_in(table[b], common);
            for (const console_font& f : fonts) {
                const std::uint16_t sent = glyph_stand_in(table[b], f.glyphs);
                EXPECT_TRUE(glyph_set_has(f.glyphs, sent))
                    << f.name << " lacks " << utf8(table[b]) << " and its stand-ins (code page " << codepage << ")";
                EXPECT_TRUE(glyph_set_has(f.glyphs, assumed))
                    << f.name << " lacks " << utf8(assumed) << ", assumed common for " << utf8(table[b]);
            }
        }
    }
}

TEST(console_font, the_default_font_loses_21_upper_glyphs_each_to_its_look_alike)
{
    const console_font* lat15 = font_named("Lat15-Fixed16");
    ASSERT_NE(lat15, nullptr) << "install console-setup-linux";
    const std::uint16_t* cp437 = codepage_table(437);
    std::string replaced;
    for (int b = 128; b < 256; ++b) {
        const std::uint16_t sent = glyph_stand_in(cp437[b], lat15->glyphs);
        if (sent != cp437[b]) replaced += utf8(cp437[b]) + utf8(sent) + " ";
    }
    EXPECT_EQ(replaced,
              "⌐¬ ▓▒ ▄■ ▌▒ ▐▒ ▀▒ αa ΓF ΣE σo τt ΦØ ΘO ΩO δð φø εe ⌠| ⌡| ∙· √v ");
}

TEST(console_font, the_encoder_sends_stand_ins_only_for_what_the_font_lacks)
{
    static ansi_encoder plain, limited;
    encoder_init(plain, 437, 16, 80, 25);
    encoder_init(limited, 437, 16, 80, 25);
    static glyph_set everything;
    std::memset(everything.bits, 0xFF, sizeof everything.bits);
    encoder_use_font(limited, everything);
    EXPECT_EQ(std::memcmp(plain.glyph_bytes, limited.glyph_bytes, sizeof plain.glyph_bytes), 0);
    EXPECT_EQ(std::memcmp(plain.glyph_length, limited.glyph_length, sizeof plain.glyph_length), 0);

    const console_font* lat15 = font_named("Lat15-VGA16");
    ASSERT_NE(lat15, nullptr) << "install console-setup-linux";
    encoder_use_font(limited, lat15->glyphs);
    static screen_cell cells[screen_cells];
    cells[0] = make_cell(0xB2, 4, 0);  // ▓ ⌐ ░ in red
    cells[1] = make_cell(0xA9, 4, 0);
    cells[2] = make_cell(0xB0, 4, 0);
    static char out[ansi_frame_capacity];
    const std::string frame(out, static_cast<std::size_t>(encode_frame(limited, cells, out)));
    EXPECT_NE(frame.find("\x1b[31m▒¬░"), std::string::npos) << frame;
    EXPECT_EQ(frame.find("▓"), std::string::npos);
}

TEST(console_font, the_console_map_is_read_where_there_is_a_console_and_nowhere_else)
{
    static glyph_set set;
    int pipe_ends[2];
    ASSERT_EQ(pipe(pipe_ends), 0);
    EXPECT_FALSE(console_font_read(pipe_ends[1], set));
    // Not a console: the glyphs common to Debian's fonts, so no ▓.
    const glyph_set& assumed = console_font_glyphs(pipe_ends[1]);
    EXPECT_FALSE(glyph_set_has(assumed, 0x2593));
    EXPECT_TRUE(glyph_set_has(assumed, 0x2592));
    close(pipe_ends[0]);
    close(pipe_ends[1]);

    const int console = open("/dev/tty0", O_RDONLY | O_NOCTTY | O_CLOEXEC);
    if (console < 0) GTEST_SKIP() << "no Linux console here to read";
    const bool read = console_font_read(console, set);
    close(console);
    if (!read) GTEST_SKIP() << "the console's map may not be read here";
    for (unsigned u = 0x21; u < 0x7F; ++u) EXPECT_TRUE(glyph_set_has(set, u)) << "ASCII " << u;
    EXPECT_FALSE(glyph_set_has(set, 0x4E00)) << "a CJK glyph in a console font";
}

}  // namespace
