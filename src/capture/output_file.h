// Output files that appear whole or not at all. A regular file (or one that
// does not exist yet) is written under a temporary name beside it and renamed
// over it only at the end, so a failed or interrupted write never leaves a
// half-written file under the name the user gave; a symbolic link's target is
// the file replaced, the link stays. A FIFO, a pipe or a device (/dev/null,
// /dev/stdout) is written directly and never replaced. While a temporary file
// exists it is on the clean-up list (base/process_exit.h): a signal or a fatal
// error removes it.
#pragma once
#include <cstdio>

inline constexpr int output_path_capacity = 4096;

struct output_file {
    char path[output_path_capacity];       // the name the user gave
    char target[output_path_capacity];     // the file written: path, or where its links end
    char temp_path[output_path_capacity];  // the temporary file while open; "" after, or when written directly
    std::FILE* file;                       // open on temp_path or on the device, or nullptr
    int cleanup;                           // its place on the clean-up list + 1; 0: none
};

// Opens path for writing through file. False, with one line in why (size
// bytes) naming the file and the reason and errno set, when it cannot be
// written (a folder, a missing folder, no permission); nothing is left behind then. The record
// stays where it is until output_commit or output_discard.
bool output_open(output_file& out, const char* path, char* why, int size);
// As output_open, for a writer that opens the file itself by the name
// output_write_name gives: file stays nullptr.
bool output_prepare(output_file& out, const char* path, char* why, int size);
// The name to write: the temporary file, or the device or FIFO itself.
const char* output_write_name(const output_file& out);
// Flushes and closes file (a writer that wrote by name closes its own and
// leaves file nullptr), then renames the temporary file over the target.
// False, with one line in why, after a failed write; the temporary file is
// removed then.
bool output_commit(output_file& out, char* why, int size);
// Closes and removes the temporary file, if open. Safe to call twice.
void output_discard(output_file& out);

// True when two names lead to one file, so that two outputs of a run would
// write over each other: the same file where it exists, else the same name
// in the same folder, links followed and the folder's path resolved. The
// null device loses nothing to either; a name that cannot be resolved is
// left to its open to report. One file per system, as below.
bool output_same_file(const char* a, const char* b);

// What the helper needs from the system, one file per system
// (output_file_posix.cpp, output_file_win.cpp); internal to src/capture.
enum output_kind { output_replaced, output_direct };
// Where path's bytes go: target (size bytes) gets path, or for a symbolic
// link the end of its chain; kind says how it is written. 0, or the errno
// value that says why it cannot be (EISDIR, ELOOP, ENAMETOOLONG).
int output_resolve(const char* path, char* target, int size, output_kind& kind);
// Creates a new file beside target, its name in temp (size bytes, set before
// the file exists), with target's permissions where it exists. Null with
// errno set when it cannot.
std::FILE* output_create_temp(const char* target, char* temp, int size);
// Gives from the name to, replacing the file there.
bool output_replace(const char* from, const char* to);
// Removes path; safe in a signal handler.
void output_remove(const char* path);
