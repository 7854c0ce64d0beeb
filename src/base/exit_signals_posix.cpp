// The signals that end the process, on POSIX systems: the clean-up list runs,
// then the handler that was there before (a sanitizer's report), or the
// signal ends the process as it would have.
#include <csignal>
#include <cstdlib>

#include "base/process_exit.h"

namespace {

// Those a user or the system sends (a closed pipe, a file size limit) and the
// crashes; the terminal then ignores SIGPIPE, to see a closed terminal as EPIPE.
constexpr int ending_signals[] = {SIGINT,  SIGTERM, SIGHUP,  SIGQUIT, SIGPIPE, SIGXFSZ, SIGXCPU, SIGALRM,
                                  SIGUSR1, SIGUSR2, SIGABRT, SIGSEGV, SIGBUS,  SIGFPE,  SIGILL};
constexpr int ending_count = sizeof ending_signals / sizeof ending_signals[0];

struct sigaction previous[ending_count];  // what each signal did before
bool installed = false;

void on_ending_signal(int sig, siginfo_t* info, void* context)
{
    exit_cleanup_run();
    for (int i = 0; i < ending_count; ++i) {
        if (ending_signals[i] != sig) continue;
        const struct sigaction& old = previous[i];
        if (old.sa_flags & SA_SIGINFO) {
            old.sa_sigaction(sig, info, context);
            return;
        }
        if (old.sa_handler != SIG_DFL && old.sa_handler != SIG_IGN) {
            old.sa_handler(sig);
            return;
        }
    }
    std::signal(sig, SIG_DFL);
    std::raise(sig);  // blocked until this handler returns, then ends the process
}

void run_at_exit() { exit_cleanup_run(); }

}  // namespace

void exit_signals_install()
{
    if (installed) return;
    installed = true;
    for (int i = 0; i < ending_count; ++i) {
        sigaction(ending_signals[i], nullptr, &previous[i]);
        // nohup, or a job started with & without job control: stays ignored.
        if (!(previous[i].sa_flags & SA_SIGINFO) && previous[i].sa_handler == SIG_IGN) continue;
        struct sigaction action{};
        action.sa_sigaction = on_ending_signal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_SIGINFO | SA_RESTART;
        sigaction(ending_signals[i], &action, nullptr);
    }
    std::atexit(run_at_exit);
}
