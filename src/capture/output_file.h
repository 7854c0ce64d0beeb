// Output files that appear whole or not at all: the data goes to a temporary
// file beside the destination, which is renamed over it only at the end, so
// a failed or interrupted write never leaves a half-written file under the
// name the user gave.
#pragma once
#include <cstdio>

inline constexpr int output_path_capacity = 4096;

struct output_file {
    char path[output_path_capacity];       // the name the user gave
    char temp_path[output_path_capacity];  // "<path>.XXXXXX" while open; "" after
    std::FILE* file;                       // open on temp_path, or nullptr
};

// Creates the temporary file beside path. False, with one line in why (size
// bytes) naming the file and the reason, when it cannot be created.
bool output_open(output_file& out, const char* path, char* why, int size);
// Flushes, closes and renames the temporary file to the destination (a writer
// that wrote temp_path itself closes file and sets it to nullptr first). False,
// with one line in why, after a failed write; the temporary file is removed.
bool output_commit(output_file& out, char* why, int size);
// Closes and removes the temporary file, if open. Safe to call twice.
void output_discard(output_file& out);
