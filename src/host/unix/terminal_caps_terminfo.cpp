#include "terminal/terminal_caps.h"

#include <curses.h>
#include <langinfo.h>
#include <term.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

bool has_string(const char* name)
{
    const char* value = tigetstr(const_cast<char*>(name));
    return value && value != reinterpret_cast<char*>(-1);
}

// The character set of the locale the environment names, read without
// keeping that locale: the show's text is made in the C locale. A locale
// this system lacks is judged by its name.
bool locale_is_utf8()
{
    char before[64] = "C";
    if (const char* now = std::setlocale(LC_CTYPE, nullptr)) std::snprintf(before, sizeof before, "%s", now);
    if (std::setlocale(LC_CTYPE, "")) {
        const bool utf8 = charset_is_utf8(nl_langinfo(CODESET));
        std::setlocale(LC_CTYPE, before);
        return utf8;
    }
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) return charset_is_utf8(std::strchr(value, '.'));
    }
    return false;
}

}  // namespace

terminal_caps terminal_caps_query(int fd)
{
    const char* term = std::getenv("TERM");
    terminfo_entry entry{};
    bool found = false;
    int error = 0;
    // Reads the entry only: setupterm writes nothing to the terminal.
    if (term && *term && setupterm(term, fd, &error) == OK) {
        found = true;
        entry.bce = tigetflag(const_cast<char*>("bce")) > 0;
        entry.cup = has_string("cup");
        entry.hpa = has_string("hpa");
        entry.vpa = has_string("vpa");
        entry.cuu = has_string("cuu");
        entry.cud = has_string("cud");
        entry.cuf = has_string("cuf");
        entry.cub = has_string("cub");
        entry.civis = has_string("civis");
        entry.colors = tigetnum(const_cast<char*>("colors"));
        del_curterm(cur_term);
    }
    terminal_caps caps = terminal_caps_of(term, std::getenv("STY"), std::getenv("TMUX"), found ? &entry : nullptr);
    caps.utf8 = locale_is_utf8();
    return caps;
}
