// The one owner of what must be undone or finished however the process ends:
// the terminal given back, a live recording finished, the temporary files of
// outputs not yet whole removed. Each of those registers here while it is
// due; the normal end, the fatal paths (fatal.h), the signals and console
// events (exit_signals_posix.cpp, exit_signals_win.cpp) and exit() run the list.
#pragma once

inline constexpr int exit_cleanup_capacity = 16;

// Adds work(context) to the list; returns its place for exit_cleanup_remove.
// Work must be safe in a signal handler (on Windows: on a thread of its own)
// and do nothing once its job is done another way.
int exit_cleanup_add(void (*work)(void* context), void* context);
// Takes the work at place off the list (its job is done); -1 is ignored.
// Safe in a signal handler.
void exit_cleanup_remove(int place);
// Runs what is on the list, newest first, each at most once, and empties it:
// the terminal registers after the recording it feeds, so it is given back
// before the recording ends. Safe in a signal handler.
void exit_cleanup_run();

// Once a process (later calls do nothing): the signals that end the process
// (SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, the limits, the crashes; on Windows Ctrl-C,
// Ctrl-Break, a closed window, log-off, shut-down and unhandled exceptions)
// run the list, then go to the handler that was there before, or end the
// process as they would have; exit() runs it too. A signal ignored when the
// process started stays ignored.
void exit_signals_install();
