#include "text/text_banner.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/process_exit.h"
#include "text/big_font.h"

static_assert(banner_rows == glyph_height);

namespace {

// A malloc'd, zero-terminated copy of length bytes of source; the
// out-of-memory exit when there is no room.
char* copy_or_exit(const char* source, std::size_t length)
{
    char* copy = static_cast<char*>(std::malloc(length + 1));
    if (!copy) exit_out_of_memory();
    if (length) std::memcpy(copy, source, length);  // source may be null when empty
    copy[length] = 0;
    return copy;
}

}  // namespace

void banner_create(text_banner& banner, const char* text)
{
    banner.text = copy_or_exit(text, std::strlen(text));
    clear_window(banner);
    render_rows(banner);
}

void clear_window(text_banner& banner) { std::memset(banner.window, ' ', sizeof banner.window); }

void banner_reset(text_banner& banner)
{
    // Turned left `turns` times; as many turns right put every row back.
    if (banner.turns > 0) {
        const std::size_t turnable = std::strlen(banner.rows[0]) - 1;  // the last column stays
        for (char* row : banner.rows) std::rotate(row, row + (turnable - banner.turns), row + turnable);
    }
    banner.turns = 0;
    clear_window(banner);
    banner.slide_column = window_columns;
    banner.window_width = window_columns;
}

void render_rows(text_banner& banner)
{
    const std::size_t n = std::strlen(banner.text);
    const std::size_t width = n * glyph_width;
    // Ordinary allocation: its failure is std::bad_alloc, not the message.
    // Starting from spaces leaves a character without a glyph blank.
    std::vector<char> work(banner_rows * width, ' ');

    for (std::size_t k = 0; k < n; ++k) {
        auto c = static_cast<std::uint8_t>(banner.text[k]);
        // "C"-locale upper case: a-z only, never the bytes above 0x7F.
        if (c >= 'a' && c <= 'z') {
            c = static_cast<std::uint8_t>(c - ('a' - 'A'));
            banner.text[k] = static_cast<char>(c);
        }
        const big_glyph* glyph = find_glyph(c);
        if (!glyph) continue;
        for (int r = 0; r < banner_rows; ++r)
            std::memcpy(&work[r * width + k * glyph_width], glyph->rows[r], glyph_width);
    }

    for (int r = 0; r < banner_rows; ++r) banner.rows[r] = copy_or_exit(work.data() + r * width, width);
    banner.turns = 0;
}
