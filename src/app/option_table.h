// The options' table: one row an option, with its name, the kind of value it
// takes, where it applies, its help text and what it does with its value.
// The parser and --help both read it (options.h): a row added here is an
// option, listed in --help and so in the manual page.
#pragma once
#include <cstdint>

#include "app/demo_options.h"

// What an option takes: nothing, a whole number, a word, or a file's name.
enum value_kind { no_value, number_value, word_value, file_value };
// Where an option applies: a run on a terminal, a headless one, a server, or any.
enum option_scope { anywhere, terminal_only, headless_only, serve_only };

// What an option does with its value. Returns nullptr, or a message about the
// value with one %s for it (the caller puts "option --name: " in front).
using apply_fn = const char* (*)(demo_options& o, const char* text, std::uint32_t number);

// One row an option; a row without a name starts a section of --help. A row
// without help text is an alias that --help does not list.
struct option_row {
    const char* name;
    value_kind kind;
    option_scope scope;
    const char* value_name;  // in --help: FILE, MS ...
    const char* help;        // lines after the first are indented under it
    apply_fn apply;
};

// The rows, in --help's order: the sections' headings, the options and their
// aliases. A row added makes the table's definition fail until this counts it.
inline constexpr int option_row_count = 48;
extern const option_row option_table[option_row_count];

// A whole number from 0 to 4294967295 in decimal, without a sign or a
// leading space, into out; false (out untouched) when text is not one.
bool parse_u32(const char* text, std::uint32_t& out);
// The row an option is counted under: an alias counts as the option it stands for.
int canonical_row(int row);
// Whether the option called name was given; given holds a flag a row, as
// parse_options counts them (by canonical row).
bool given_option(const bool* given, const char* name);
