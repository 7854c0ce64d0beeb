// A headless run that is cut short (a signal; on Windows a console event)
// leaves no recording, not even its temporary file: headless_signals.cpp on
// POSIX, headless_signals_win.cpp on Windows.
#pragma once

struct cast_file;

// From then on, an ending signal or event discards cast (cast_discard) and
// then ends the process as it would have. Signals ignored or handled by
// someone else stay so. Once, when the recording has its header.
void discard_recording_on_signals(cast_file& cast);
