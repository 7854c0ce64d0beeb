#include "terminal/terminal_caps.h"

#include <cstring>

terminal_caps terminal_caps_of(const char* term, const char* sty, const char* tmux, const terminfo_entry* entry)
{
    const bool screen_like = term && std::strncmp(term, "screen", 6) == 0;
    const bool in_screen = screen_like && sty && *sty;
    const bool in_tmux = !in_screen && tmux && *tmux;
    terminal_caps caps;
    caps.erase_in_color = !entry || entry->bce || in_tmux;
    caps.truecolor = !in_screen;
    caps.linux_console = term && std::strncmp(term, "linux", 5) == 0;
    if (entry) {
        caps.cursor_moves = entry->cup;
        caps.column_moves = entry->hpa;
        caps.row_moves = entry->vpa;
        caps.step_moves = entry->cuu && entry->cud && entry->cuf && entry->cub;
        caps.colors = entry->colors >= 8;
        caps.private_modes = entry->civis;
    }
    // Also where this host has no entry for it.
    if (term && !std::strcmp(term, "dumb")) caps.cursor_moves = false;
    return caps;
}

terminal_caps terminal_caps_from(const char* term, const char* sty, const char* tmux, int bce)
{
    const terminfo_entry able{bce != 0, true, true, true, true, true, true, true, true, 256};
    return terminal_caps_of(term, sty, tmux, bce < 0 ? nullptr : &able);
}

bool charset_is_utf8(const char* name)
{
    if (!name) return false;
    for (const char* p = name; *p; ++p) {
        const char* rest = p;
        bool match = true;
        for (const char* want = "utf"; *want && match; ++want, ++rest) match = (*rest | 0x20) == *want;
        if (!match) continue;
        if (*rest == '-') ++rest;
        if (*rest == '8') return true;
    }
    return false;
}
