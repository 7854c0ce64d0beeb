#include "platform/terminal_caps.h"

#include <curses.h>
#include <term.h>

#include <cstdlib>
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

terminal_caps terminal_caps_query(int fd)
{
    const char* term = std::getenv("TERM");
    int bce = -1;
    int error = 0;
    // Reads the entry only: setupterm writes nothing to the terminal.
    if (term && *term && setupterm(term, fd, &error) == OK) {
        const int flag = tigetflag(const_cast<char*>("bce"));
        bce = flag < 0 ? -1 : flag;
        del_curterm(cur_term);
    }
    return terminal_caps_from(term, std::getenv("STY"), std::getenv("TMUX"), bce);
}
