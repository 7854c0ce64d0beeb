// The server's log: one line on standard error for each connection opened
// and closed, and for the start and the end, each beginning with the time
// (UTC, ms). Bytes a client chose are written escaped (\xHH for anything but
// printable ASCII), so a line is always one printable line.
#pragma once

// One line: the time, "glimfant:", then the text as printf makes it.
void log_line(const char* format, ...) __attribute__((format(printf, 1, 2)));
// bytes (n of them, or up to NUL when n < 0) escaped into out (size bytes,
// always terminated; cut with "..." when it does not fit).
void log_escape(const char* bytes, int n, char* out, int size);
