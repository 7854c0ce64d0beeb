// What the user's terminal can do beyond what every ANSI terminal does: read
// once at start-up from the system's terminfo database and the environment.
#pragma once

struct terminal_caps {
    bool erase_in_color;  // erases (EL, ECH, ED) fill with the current background (terminfo bce)
    bool truecolor;       // 24-bit colours reach the screen, if COLORTERM asks for them
    bool linux_console;   // the Linux console (TERM linux*): its font lacks some glyphs (console_font.h)
    // Beyond a VT100, as the terminal's entry says (an unknown terminal has them all):
    bool cursor_moves = true;   // the cursor goes anywhere (cup); without, a dumb terminal, refused
    bool column_moves = true;   // CHA, CSI n G (hpa)
    bool row_moves = true;      // VPA, CSI n d (vpa)
    bool step_moves = true;     // CUU, CUD, CUF, CUB with a count (cuu, cud, cuf, cub)
    bool colors = true;         // eight colours or more (colors); without, only the characters
    bool private_modes = true;  // a hidden cursor (civis): the DEC private modes of a VT220 and
                                // later, so the alternate screen and synchronized updates too
    bool utf8 = true;           // the locale's character set is UTF-8; else only ASCII is sent
};

// What a terminal's terminfo entry holds, of the capabilities above.
struct terminfo_entry {
    bool bce, cup, hpa, vpa, cuu, cud, cuf, cub, civis;
    int colors;  // max_colors; -1 where it has none
};

// The capabilities of the terminal on fd, named by TERM, with the locale's
// character set (LC_ALL, LC_CTYPE, LANG). A terminal terminfo does not know
// is taken to be able, as every common one is. Inside GNU screen (TERM
// screen*, STY set) there is no truecolor: its windows inherit COLORTERM
// from the outer terminal but it drops 24-bit colours. tmux erases in colour
// whatever its terminfo entry says.
terminal_caps terminal_caps_query(int fd);

// The same from given values: term and the environment's STY and TMUX (null
// where unset), and term's terminfo entry (null: there is none). The locale
// is left UTF-8.
terminal_caps terminal_caps_of(const char* term, const char* sty, const char* tmux, const terminfo_entry* entry);
// As terminal_caps_of with an entry known only by its bce: 1 yes, 0 no, -1 no entry.
terminal_caps terminal_caps_from(const char* term, const char* sty, const char* tmux, int bce);

// True when a character set's name (nl_langinfo's, or a locale name's
// part after the dot) is UTF-8, however it is written ("UTF-8", "utf8").
bool charset_is_utf8(const char* name);
