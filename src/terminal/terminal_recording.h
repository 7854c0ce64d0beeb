// The live recording (--record without --headless): every write to the
// terminal, from take-over to restore, is an event at its time since the
// take-over, and a new terminal size is a resize event, so that it plays
// back at the size the bytes were made for. Safe in a signal handler but
// for recording_start.
#pragma once
#include <cstddef>

struct cast_file;

// Writes the header with the terminal as found (columns x rows) and starts
// the recording's clock; cast is opened and not yet used (null: none). Puts
// its finish on the clean-up list.
void recording_start(cast_file* cast, int columns, int rows);
void recording_write(const char* bytes, std::size_t n);
void recording_size(int columns, int rows);
// Writes the buffered events to the file, in the quiet time of a frame.
void recording_write_due();
