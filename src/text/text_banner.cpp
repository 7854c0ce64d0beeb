#include "text/text_banner.h"

#include <cstdlib>
#include <cstring>

#include "core/fatal.h"

void banner_create(text_banner& banner, const char* text)
{
    banner.text = strdup(text);
    if (!banner.text) exit_out_of_memory();
    clear_window(banner);
    render_rows(banner);
}

void clear_window(text_banner& banner) { std::memset(banner.window, ' ', sizeof banner.window); }

void render_rows(text_banner& banner)
{
    const std::size_t n = std::strlen(banner.text) * 8;
    for (auto& row : banner.rows) {
        row = static_cast<char*>(std::malloc(n + 1));
        if (!row) exit_out_of_memory();
        std::memset(row, ' ', n);
        row[n] = 0;
    }
}
