#include "platform/headless_signals.h"

#include <csignal>
#include <initializer_list>

#include "capture/asciicast.h"

namespace {

cast_file* discarded = nullptr;

void on_ending_signal(int sig)
{
    cast_discard(*discarded);
    std::signal(sig, SIG_DFL);
    std::raise(sig);  // blocked until this handler returns, then ends the process
}

}  // namespace

void discard_recording_on_signals(cast_file& cast)
{
    discarded = &cast;
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old{};
        sigaction(sig, nullptr, &old);
        if (old.sa_flags & SA_SIGINFO || old.sa_handler != SIG_DFL) continue;  // ignored, or someone else's
        struct sigaction action{};
        action.sa_handler = on_ending_signal;
        sigemptyset(&action.sa_mask);
        sigaction(sig, &action, nullptr);
    }
}
