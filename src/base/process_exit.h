// How the process ends, in one place: the clean-up list that every way out
// runs (the terminal given back, a live recording finished, the temporary
// files of outputs not yet whole removed), the signals and console events
// that run it (exit_signals_posix.cpp, exit_signals_win.cpp), and the fatal
// paths: the assertion that stays on in every build and the out-of-memory
// exit, which run the list first so a message is never wiped by the
// alternate screen. Every layer may include this header.
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

// Checks a cheap invariant. On failure: restore the terminal, write
// "Assertion failed: <expr>, file <file>, line <line>\n" to standard error and abort.
#define GLIM_ASSERT(expr) \
    ((expr) ? static_cast<void>(0) : fatal_assertion_failed(#expr, __FILE__, __LINE__))

inline constexpr const char out_of_memory_message[] =
    "AAAARGH, ikke mer minne igjen, kj\xC3\xB8p mer RAM, din soper\n";

// Restores, reports and aborts; never returns.
[[noreturn]] void fatal_assertion_failed(const char* expression, const char* file, int line);

// Restores, prints the out-of-memory message on standard output and exits with status 1.
[[noreturn]] void exit_out_of_memory();
