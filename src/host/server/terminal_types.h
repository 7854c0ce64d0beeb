// What a viewer's terminal type says about its erases, from this system's
// terminfo database, as for a local terminal (terminal_caps.h): a type it
// does not know is taken to erase in colour, as every common one does.
// Looked up once a type, at most terminal_type_memory of them remembered.
#pragma once

inline constexpr int terminal_type_memory = 64;

bool term_erases_in_color(const char* term);
