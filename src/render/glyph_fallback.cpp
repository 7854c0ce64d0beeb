#include "render/glyph_fallback.h"

namespace {

struct fallback {
    std::uint16_t code_point;
    std::uint16_t stand_ins[3];  // nearest first; 0 ends the list early
};

// Every character of code pages 437, 850 and 865 that one of Debian's Latin
// console fonts (Lat15, Lat2, Lat38, Lat7, Uni1-3, every face and size) lacks:
// a letter by the same letter with an accent those fonts all have or none, a
// shade by the next shade, a half block by the block nearest its ink, a Greek
// letter by its Latin look-alike, a symbol by the ASCII that looks most like it.
constexpr fallback fallbacks[] = {
    {0x00A1, {'!'}},                     // ¡
    {0x00A2, {'c'}},                     // ¢
    {0x00A5, {'Y'}},                     // ¥
    {0x00A6, {'|'}},                     // ¦
    {0x00AA, {'a'}},                     // ª
    {0x00AB, {'<'}},                     // «
    {0x00AC, {'-'}},                     // ¬
    {0x00AF, {'-'}},                     // ¯
    {0x00B2, {'2'}},                     // ²
    {0x00B3, {'3'}},                     // ³
    {0x00B9, {'1'}},                     // ¹
    {0x00BA, {0x00B0, 'o'}},             // º  °
    {0x00BB, {'>'}},                     // »
    {0x00BC, {'%'}},                     // ¼
    {0x00BD, {'%'}},                     // ½
    {0x00BE, {'%'}},                     // ¾
    {0x00BF, {'?'}},                     // ¿
    {0x00C3, {0x00C2, 'A'}},             // Ã  Â
    {0x00C5, {0x00C2, 'A'}},             // Å  Â
    {0x00C6, {'E'}},                     // Æ
    {0x00CC, {0x00CD, 'I'}},             // Ì  Í
    {0x00CE, {0x00CD, 'I'}},             // Î  Í
    {0x00CF, {0x00CE, 0x00CD, 'I'}},     // Ï  Î Í
    {0x00D0, {'D'}},                     // Ð
    {0x00D2, {0x00D3, 'O'}},             // Ò  Ó
    {0x00D4, {0x00D3, 'O'}},             // Ô  Ó
    {0x00D5, {0x00D4, 0x00D3, 'O'}},     // Õ  Ô Ó
    {0x00D8, {'O'}},                     // Ø
    {0x00D9, {0x00DA, 'U'}},             // Ù  Ú
    {0x00DB, {0x00DA, 'U'}},             // Û  Ú
    {0x00DD, {'Y'}},                     // Ý
    {0x00DE, {'P'}},                     // Þ
    {0x00E3, {0x00E2, 'a'}},             // ã  â
    {0x00E5, {0x00E2, 'a'}},             // å  â
    {0x00E6, {'e'}},                     // æ
    {0x00EC, {0x00ED, 'i'}},             // ì  í
    {0x00EE, {0x00ED, 'i'}},             // î  í
    {0x00EF, {0x00EE, 0x00ED, 'i'}},     // ï  î í
    {0x00F0, {'d'}},                     // ð
    {0x00F2, {0x00F3, 'o'}},             // ò  ó
    {0x00F4, {0x00F3, 'o'}},             // ô  ó
    {0x00F5, {0x00F4, 0x00F3, 'o'}},     // õ  ô ó
    {0x00F8, {'o'}},                     // ø
    {0x00F9, {0x00FA, 'u'}},             // ù  ú
    {0x00FB, {0x00FA, 'u'}},             // û  ú
    {0x00FD, {'y'}},                     // ý
    {0x00FE, {'p'}},                     // þ
    {0x00FF, {0x00FD, 'y'}},             // ÿ  ý
    {0x0131, {'i'}},                     // ı
    {0x0192, {'f'}},                     // ƒ
    {0x0393, {'F'}},                     // Γ
    {0x0398, {'O'}},                     // Θ
    {0x03A3, {'E'}},                     // Σ
    {0x03A6, {0x00D8, 'O'}},             // Φ  Ø
    {0x03A9, {'O'}},                     // Ω
    {0x03B1, {'a'}},                     // α
    {0x03B4, {0x00F0, 'd'}},             // δ  ð
    {0x03B5, {'e'}},                     // ε
    {0x03C3, {'o'}},                     // σ
    {0x03C4, {'t'}},                     // τ
    {0x03C6, {0x00F8, 'o'}},             // φ  ø
    {0x2017, {'_'}},                     // ‗
    {0x203C, {'!'}},                     // ‼
    {0x207F, {'n'}},                     // ⁿ
    {0x20A7, {'P'}},                     // ₧
    {0x2194, {'-'}},                     // ↔
    {0x2195, {'|'}},                     // ↕
    {0x21A8, {'|'}},                     // ↨
    {0x2219, {0x00B7, '.'}},             // ∙  ·
    {0x221A, {'v'}},                     // √
    {0x221E, {'8'}},                     // ∞
    {0x221F, {'L'}},                     // ∟
    {0x2229, {'n'}},                     // ∩
    {0x2248, {'~'}},                     // ≈
    {0x2261, {'='}},                     // ≡
    {0x2302, {'^'}},                     // ⌂
    {0x2310, {0x00AC, '-'}},             // ⌐  ¬
    {0x2320, {'|'}},                     // ⌠
    {0x2321, {'|'}},                     // ⌡
    {0x2580, {0x2592, '#'}},             // ▀  ▒: half the ink, as no glyph sits at the top
    {0x2584, {0x25A0, 0x2592, '#'}},     // ▄  ■ ▒
    {0x258C, {0x2592, '#'}},             // ▌  ▒
    {0x2590, {0x2592, '#'}},             // ▐  ▒
    {0x2593, {0x2592, 0x2588, '#'}},     // ▓  ▒ █
    {0x25AC, {0x25A0, '-'}},             // ▬  ■
    {0x25BA, {0x25B6, '>'}},             // ►  ▶
    {0x25C4, {0x25C0, '<'}},             // ◄  ◀
    {0x25CB, {'o'}},                     // ○
    {0x25D8, {0x2588, '#'}},             // ◘  █
    {0x25D9, {0x2588, '#'}},             // ◙  █
    {0x263A, {'o'}},                     // ☺
    {0x263B, {0x25CF, 'o'}},             // ☻  ●
    {0x263C, {'*'}},                     // ☼
    {0x2640, {'+'}},                     // ♀
    {0x2642, {'o'}},                     // ♂
    {0x2660, {0x2666, '*'}},             // ♠  ♦
    {0x2663, {0x2666, '*'}},             // ♣  ♦
    {0x2665, {0x2666, '*'}},             // ♥  ♦
    {0x266A, {'d'}},                     // ♪
    {0x266B, {'d'}},                     // ♫
};

struct look_alike {
    std::uint16_t code_point;
    char ascii;
};

// The ASCII that looks most like each of the other characters of the code
// pages, for a terminal that shows ASCII only (a locale that is not UTF-8):
// a letter without its accent, a line or a corner of a box by - = | +, a
// shade by its ink.
constexpr look_alike ascii_look_alikes[] = {
    {0x00A0, ' '},      // no-break space
    {0x00A3, 'L'},      // £
    {0x00A4, 'o'},      // ¤
    {0x00A7, 'S'},      // §
    {0x00A8, '"'},      // ¨
    {0x00A9, 'C'},      // ©
    {0x00AD, '-'},      // soft hyphen
    {0x00AE, 'R'},      // ®
    {0x00B0, 'o'},      // °
    {0x00B1, '+'},      // ±
    {0x00B4, '\''},     // ´
    {0x00B5, 'u'},      // µ
    {0x00B6, 'P'},      // ¶
    {0x00B7, '.'},      // ·
    {0x00B8, ','},      // ¸
    {0x00C0, 'A'},      // À
    {0x00C1, 'A'},      // Á
    {0x00C2, 'A'},      // Â
    {0x00C4, 'A'},      // Ä
    {0x00C7, 'C'},      // Ç
    {0x00C8, 'E'},      // È
    {0x00C9, 'E'},      // É
    {0x00CA, 'E'},      // Ê
    {0x00CB, 'E'},      // Ë
    {0x00CD, 'I'},      // Í
    {0x00D1, 'N'},      // Ñ
    {0x00D3, 'O'},      // Ó
    {0x00D6, 'O'},      // Ö
    {0x00D7, 'x'},      // ×
    {0x00DA, 'U'},      // Ú
    {0x00DC, 'U'},      // Ü
    {0x00DF, 'B'},      // ß
    {0x00E0, 'a'},      // à
    {0x00E1, 'a'},      // á
    {0x00E2, 'a'},      // â
    {0x00E4, 'a'},      // ä
    {0x00E7, 'c'},      // ç
    {0x00E8, 'e'},      // è
    {0x00E9, 'e'},      // é
    {0x00EA, 'e'},      // ê
    {0x00EB, 'e'},      // ë
    {0x00ED, 'i'},      // í
    {0x00F1, 'n'},      // ñ
    {0x00F3, 'o'},      // ó
    {0x00F6, 'o'},      // ö
    {0x00F7, '/'},      // ÷
    {0x00FA, 'u'},      // ú
    {0x00FC, 'u'},      // ü
    {0x03C0, 'n'},      // π
    {0x2022, 'o'},      // •
    {0x2190, '<'},      // ←
    {0x2191, '^'},      // ↑
    {0x2192, '>'},      // →
    {0x2193, 'v'},      // ↓
    {0x2264, '<'},      // ≤
    {0x2265, '>'},      // ≥
    {0x2500, '-'},      // ─
    {0x2502, '|'},      // │
    {0x250C, '+'},      // ┌
    {0x2510, '+'},      // ┐
    {0x2514, '+'},      // └
    {0x2518, '+'},      // ┘
    {0x251C, '+'},      // ├
    {0x2524, '+'},      // ┤
    {0x252C, '+'},      // ┬
    {0x2534, '+'},      // ┴
    {0x253C, '+'},      // ┼
    {0x2550, '='},      // ═
    {0x2551, '|'},      // ║
    {0x2552, '+'},      // ╒
    {0x2553, '+'},      // ╓
    {0x2554, '+'},      // ╔
    {0x2555, '+'},      // ╕
    {0x2556, '+'},      // ╖
    {0x2557, '+'},      // ╗
    {0x2558, '+'},      // ╘
    {0x2559, '+'},      // ╙
    {0x255A, '+'},      // ╚
    {0x255B, '+'},      // ╛
    {0x255C, '+'},      // ╜
    {0x255D, '+'},      // ╝
    {0x255E, '+'},      // ╞
    {0x255F, '+'},      // ╟
    {0x2560, '+'},      // ╠
    {0x2561, '+'},      // ╡
    {0x2562, '+'},      // ╢
    {0x2563, '+'},      // ╣
    {0x2564, '+'},      // ╤
    {0x2565, '+'},      // ╥
    {0x2566, '+'},      // ╦
    {0x2567, '+'},      // ╧
    {0x2568, '+'},      // ╨
    {0x2569, '+'},      // ╩
    {0x256A, '+'},      // ╪
    {0x256B, '+'},      // ╫
    {0x256C, '+'},      // ╬
    {0x2588, '#'},      // █
    {0x2591, '.'},      // ░
    {0x2592, ':'},      // ▒
    {0x25A0, '#'},      // ■
    {0x25B2, '^'},      // ▲
    {0x25BC, 'v'},      // ▼
    {0x2666, '*'},      // ♦
};

const fallback* find_fallback(std::uint16_t code_point)
{
    for (const fallback& f : fallbacks)
        if (f.code_point == code_point) return &f;
    return nullptr;
}

}  // namespace

void glyph_set_ascii(glyph_set& set)
{
    for (std::uint64_t& word : set.bits) word = 0;
    for (unsigned c = 0x20; c < 0x7F; ++c) glyph_set_add(set, c);
}

void glyph_set_common(glyph_set& set)
{
    for (std::uint64_t& word : set.bits) word = ~std::uint64_t{0};
    for (const fallback& f : fallbacks) set.bits[f.code_point >> 6] &= ~(std::uint64_t{1} << (f.code_point & 63));
}

std::uint16_t glyph_stand_in(std::uint16_t code_point, const glyph_set& font)
{
    if (glyph_set_has(font, code_point)) return code_point;
    const fallback* f = find_fallback(code_point);
    if (f) {
        for (std::uint16_t stand_in : f->stand_ins) {
            if (stand_in == 0) break;
            if (glyph_set_has(font, stand_in)) return stand_in;
        }
    }
    for (const look_alike& l : ascii_look_alikes) {
        const auto ascii = static_cast<std::uint16_t>(l.ascii);
        if (l.code_point == code_point && glyph_set_has(font, ascii)) return ascii;
    }
    return code_point;
}
