// The command line. No arguments is the plain demo; everything else is an
// option, each one row of a table that both the parser and --help read.
#pragma once
#include <cstdio>

#include "app/demo_options.h"

// Fills options from argv. Returns true on success; otherwise writes one line
// naming the problem into error (size bytes) and returns false (a usage error).
bool parse_options(int argc, char** argv, demo_options& options, char* error, int size);

// Writes the text of --help, made from the same table the parser reads.
void write_usage(std::FILE* out);
