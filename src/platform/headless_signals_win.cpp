// Windows has no SIGHUP, and its Ctrl-C, Ctrl-Break and a closed window come
// as console events to a handler on a thread of its own; cast_discard waits
// there for a finish already under way in the main flow.
#include "platform/headless_signals.h"

#include <windows.h>

#include "capture/asciicast.h"

namespace {

cast_file* discarded = nullptr;

// Ctrl-C and Ctrl-Break end with the status Windows' own handler gives; the
// others (window closed, log-off, shut-down) are ended by the system.
BOOL WINAPI on_console_event(DWORD event)
{
    cast_discard(*discarded);
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) ExitProcess(STATUS_CONTROL_C_EXIT);
    return FALSE;
}

}  // namespace

void discard_recording_on_signals(cast_file& cast)
{
    discarded = &cast;
    SetConsoleCtrlHandler(on_console_event, TRUE);
}
