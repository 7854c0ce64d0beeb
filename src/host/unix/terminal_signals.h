// The terminal's job-control and size signals on POSIX systems
// (terminal_signals.cpp): Ctrl-Z's stop, the continue after it and a
// new window size are noted by the handlers and acted on in the main flow,
// never in the middle of a frame; a byte on the wake pipe ends a wait for
// them. The signals that end the process belong to base/process_exit.h.
#pragma once

enum signal_event { signal_stop, signal_continue, signal_resize };

// Creates the wake pipe and installs the handlers (SIGPIPE is ignored: a
// closed terminal shows as EPIPE). False when there is no pipe.
bool signals_start();
// The handlers back to the default actions.
void signals_stop();
// Where a waiting poll() watches for a signal.
int signals_wake_fd();
void signals_drain_wake();
// True when any event came since it was last taken.
bool signals_pending();
// True, once, when the event came since it was last taken.
bool signals_take(signal_event event);
// Notes an event as if its signal had come.
void signals_note(signal_event event);
// Stops the process as Ctrl-Z does; returns once it is continued, with the
// continue noted.
void signals_stop_here();
// Setting the terminal's modes from the background stops the process with
// SIGTTOU: ignored between these two, so that the modes are set anyway.
void signals_hold_ttou();
void signals_release_ttou();
// The terminal went away (hang-up, EIO, EPIPE): runs the clean-up list and
// ends the process as a hang-up does.
[[noreturn]] void signals_hang_up();
