// The events that end the process, on Windows: a console event (Ctrl-C,
// Ctrl-Break, the window closed, log-off, shut-down) comes to a handler on a
// thread of its own, a crash to the unhandled-exception filter. Both run the
// clean-up list, then pass on to whoever handled them before.
#include <windows.h>

#include <cstdlib>

#include "base/process_exit.h"

namespace {

bool installed = false;
LPTOP_LEVEL_EXCEPTION_FILTER previous_filter = nullptr;

// Ctrl-C and Ctrl-Break end here with the status Windows' own handler gives
// (not every host's handler does); the other events go on down the chain of
// handlers and are ended by the system.
BOOL WINAPI on_console_event(DWORD event)
{
    exit_cleanup_run();
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) ExitProcess(STATUS_CONTROL_C_EXIT);
    return FALSE;
}

LONG WINAPI on_crash(EXCEPTION_POINTERS* exception)
{
    exit_cleanup_run();
    return previous_filter ? previous_filter(exception) : EXCEPTION_CONTINUE_SEARCH;
}

void run_at_exit() { exit_cleanup_run(); }

}  // namespace

void exit_signals_install()
{
    if (installed) return;
    installed = true;
    SetConsoleCtrlHandler(on_console_event, TRUE);
    previous_filter = SetUnhandledExceptionFilter(on_crash);
    std::atexit(run_at_exit);
}
