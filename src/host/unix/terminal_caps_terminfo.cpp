#include "terminal/terminal_caps.h"

#include <curses.h>
#include <term.h>

#include <cstdlib>

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
