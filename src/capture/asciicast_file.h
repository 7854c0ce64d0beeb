// What the recording writer needs from the operating system, one file per
// system: asciicast_file_posix.cpp (POSIX), asciicast_file_win.cpp (Windows).
// Internal to src/capture. Every call but cast_file_check_target and
// cast_file_create is safe in a signal handler.
#pragma once
#include <cstddef>
#include <cstdint>

// 0 when path is missing or a regular file; else the errno value that says
// why a recording cannot go there (EISDIR, EINVAL).
int cast_file_check_target(const char* path);
// A number that tells this process's temporary files from another's.
long cast_file_process_id();
// Creates path for writing, failing when it exists; not inherited by child
// processes. The descriptor, or -1 with errno set.
int cast_file_create(const char* path);
// Writes all n bytes at offset; false when the file refuses them.
bool cast_file_write_at(int fd, const char* bytes, std::size_t n, std::uint64_t offset);
// False when closing reports an earlier write as failed.
bool cast_file_close(int fd);
// Gives from the name to, replacing a file there; false when it cannot.
bool cast_file_replace(const char* from, const char* to);
void cast_file_remove(const char* path);
// Runs work(context) with nothing else of the process finishing the
// recording meanwhile: signals blocked on POSIX, a lock on Windows, where a
// console control handler runs on a thread of its own.
void cast_file_exclusive(void (*work)(void* context), void* context);
