// Text from outside (a file name, a value from the command line) quoted in
// a message: one printable line, whatever bytes it holds, so that no path
// can move the cursor, retitle the terminal or break the line.
#pragma once

// Copies text into out (size bytes, always terminated) with control bytes,
// the C1 controls and bytes that are not UTF-8 written as \xHH; well-formed
// UTF-8 stays. A text too long for out is cut at a character and ends in "...".
void printable_copy(const char* text, char* out, int size);

// The same into a buffer of its own, for one message: each call overwrites
// what the one before it returned (two in one message: printable_copy).
const char* printable(const char* text);
