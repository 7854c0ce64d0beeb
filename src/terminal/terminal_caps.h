// What the user's terminal can do beyond what every ANSI terminal does: read
// once at start-up from the system's terminfo database and the environment.
#pragma once

struct terminal_caps {
    bool erase_in_color;  // erases (EL, ECH, ED) fill with the current background (terminfo bce)
    bool truecolor;       // 24-bit colours reach the screen, if COLORTERM asks for them
    bool linux_console;   // the Linux console (TERM linux*): its font lacks some glyphs (console_font.h)
};

// The capabilities of the terminal on fd, named by TERM. A terminal terminfo
// does not know is taken to be able, as every common one is. Inside GNU
// screen (TERM screen*, STY set) there is no truecolor: its windows inherit
// COLORTERM from the outer terminal but it drops 24-bit colours. tmux erases
// in colour whatever its terminfo entry says.
terminal_caps terminal_caps_query(int fd);

// The same from given values: term and the environment's STY and TMUX (null
// where unset), and bce: terminfo's answer, 1 yes, 0 no, -1 unknown terminal.
terminal_caps terminal_caps_from(const char* term, const char* sty, const char* tmux, int bce);
