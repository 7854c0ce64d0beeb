#include "terminal/terminal_recording.h"

#include <cstdint>
#include <cstdlib>
#include <ctime>

#include "base/process_exit.h"
#include "base/monotonic_clock.h"
#include "capture/asciicast.h"

namespace {

cast_file* recording = nullptr;     // gets every write to the terminal, or null
std::int64_t start_ns = 0;          // the take-over, on the monotonic clock
int recorded_columns = 0, recorded_rows = 0;  // the size the recording last gave

void finish_at_exit(void*) { cast_finish(*recording); }

std::int64_t since_start_us() { return (monotonic_ns() - start_ns) / 1000; }

}  // namespace

void recording_start(cast_file* cast, int columns, int rows)
{
    recording = cast;
    if (!recording) return;
    cast_header header;
    header.width = recorded_columns = columns;
    header.height = recorded_rows = rows;
    header.timestamp = std::time(nullptr);
    header.term = std::getenv("TERM");
    header.shell = std::getenv("SHELL");
    cast_write_header(*recording, header);
    start_ns = monotonic_ns();
    // Before the terminal's restore on the list, so that it runs after it:
    // the restore is the recording's last event.
    exit_cleanup_add(finish_at_exit, nullptr);
}

void recording_write(const char* bytes, std::size_t n)
{
    if (recording) cast_output(*recording, since_start_us(), bytes, n);
}

void recording_size(int columns, int rows)
{
    if (!recording || (columns == recorded_columns && rows == recorded_rows)) return;
    recorded_columns = columns;
    recorded_rows = rows;
    cast_resize(*recording, since_start_us(), columns, rows);
}

void recording_write_due()
{
    if (recording) cast_write_due(*recording);
}
