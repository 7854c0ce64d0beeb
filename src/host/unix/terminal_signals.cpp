#include "host/unix/terminal_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>

#include "base/process_exit.h"

namespace {

int wake_pipe[2] = {-1, -1};  // signal handlers write a byte here to wake poll()
volatile std::sig_atomic_t pending[3] = {0, 0, 0};  // by signal_event
struct sigaction ttou_before {};

void note(signal_event event)
{
    pending[event] = 1;
    const int saved_errno = errno;
    const char byte = 0;
    [[maybe_unused]] const ssize_t w = write(wake_pipe[1], &byte, 1);
    errno = saved_errno;
}

void on_stop_signal(int) { note(signal_stop); }
void on_continue_signal(int) { note(signal_continue); }
void on_resize_signal(int) { note(signal_resize); }

void set_handler(int sig, void (*handler)(int))
{
    struct sigaction action{};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(sig, &action, nullptr);
}

// pipe2 is not everywhere: the flags are set one by one (once, before any
// thread or child could inherit the descriptors).
bool make_wake_pipe()
{
    if (pipe(wake_pipe) != 0) return false;
    for (int fd : wake_pipe) {
        if (fcntl(fd, F_SETFD, FD_CLOEXEC) != 0 || fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK) != 0)
            return false;
    }
    return true;
}

}  // namespace

bool signals_start()
{
    if (!make_wake_pipe()) return false;
    set_handler(SIGTSTP, on_stop_signal);
    set_handler(SIGCONT, on_continue_signal);
    set_handler(SIGWINCH, on_resize_signal);
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

void signals_stop()
{
    set_handler(SIGTSTP, SIG_DFL);
    set_handler(SIGCONT, SIG_DFL);
    set_handler(SIGWINCH, SIG_DFL);
}

int signals_wake_fd() { return wake_pipe[0]; }

void signals_drain_wake()
{
    char drain[64];
    while (read(wake_pipe[0], drain, sizeof drain) > 0) {
    }
}

bool signals_pending() { return pending[signal_stop] || pending[signal_continue] || pending[signal_resize]; }

bool signals_take(signal_event event)
{
    if (!pending[event]) return false;
    pending[event] = 0;
    return true;
}

void signals_note(signal_event event) { pending[event] = 1; }

void signals_stop_here()
{
    set_handler(SIGTSTP, SIG_DFL);
    std::raise(SIGTSTP);  // the process stops here until continued
    set_handler(SIGTSTP, on_stop_signal);
    pending[signal_continue] = 1;
}

// On Ctrl-Z the shell may take the terminal back before the modes are given
// back (a job whose other processes stopped first). Setting them from the
// background would then stop us with SIGTTOU, and the continue that follows
// would run straight into our own stop; with SIGTTOU ignored the modes are
// set and the stop happens once.
void signals_hold_ttou()
{
    struct sigaction ignore{};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGTTOU, &ignore, &ttou_before);
}

void signals_release_ttou() { sigaction(SIGTTOU, &ttou_before, nullptr); }

void signals_hang_up()
{
    exit_cleanup_run();
    std::signal(SIGHUP, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGHUP);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    std::raise(SIGHUP);
    std::_Exit(128 + SIGHUP);
}
