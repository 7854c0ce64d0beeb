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

const fallback* find_fallback(std::uint16_t code_point)
{
    for (const fallback& f : fallbacks)
        if (f.code_point == code_point) return &f;
    return nullptr;
}

}  // namespace

void glyph_set_common(glyph_set& set)
{
    for (std::uint64_t& word : set.bits) word = ~std::uint64_t{0};
    for (const fallback& f : fallbacks) set.bits[f.code_point >> 6] &= ~(std::uint64_t{1} << (f.code_point & 63));
}

std::uint16_t glyph_stand_in(std::uint16_t code_point, const glyph_set& font)
{
    if (glyph_set_has(font, code_point)) return code_point;
    const fallback* f = find_fallback(code_point);
    if (!f) return code_point;
    for (std::uint16_t stand_in : f->stand_ins) {
        if (stand_in == 0) break;
        if (glyph_set_has(font, stand_in)) return stand_in;
    }
    return code_point;
}
