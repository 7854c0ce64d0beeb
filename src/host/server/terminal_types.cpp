#include "host/server/terminal_types.h"

#include <curses.h>
#include <term.h>
#include <unistd.h>

#include <cstring>

#include "terminal/terminal_caps.h"

namespace {

struct remembered {
    char term[48];
    bool erases;
};
remembered known[terminal_type_memory];
int known_count = 0;

}  // namespace

bool term_erases_in_color(const char* term)
{
    if (!*term || term[0] == '.') return true;  // none given; or a name that is no entry's
    for (int i = 0; i < known_count; ++i)
        if (!std::strcmp(known[i].term, term)) return known[i].erases;
    int bce = -1, error = 0;
    // Reads the entry only: setupterm writes nothing anywhere.
    if (setupterm(term, STDERR_FILENO, &error) == OK) {
        const int flag = tigetflag(const_cast<char*>("bce"));
        bce = flag < 0 ? -1 : flag;
        del_curterm(cur_term);
    }
    const bool erases = terminal_caps_from(term, nullptr, nullptr, bce).erase_in_color;
    if (known_count < terminal_type_memory && std::strlen(term) < sizeof known[0].term) {
        std::strcpy(known[known_count].term, term);
        known[known_count++].erases = erases;
    }
    return erases;
}
