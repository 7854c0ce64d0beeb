#include "terminal/terminal_caps.h"

#include <cstring>

terminal_caps terminal_caps_from(const char* term, const char* sty, const char* tmux, int bce)
{
    const bool screen_like = term && std::strncmp(term, "screen", 6) == 0;
    const bool in_screen = screen_like && sty && *sty;
    const bool in_tmux = !in_screen && tmux && *tmux;
    terminal_caps caps;
    caps.erase_in_color = bce != 0 || in_tmux;
    caps.truecolor = !in_screen;
    caps.linux_console = term && std::strncmp(term, "linux", 5) == 0;
    return caps;
}
