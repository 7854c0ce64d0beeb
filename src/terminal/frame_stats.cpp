#include "terminal/frame_stats.h"

#include "render/ascii_render.h"

void stats_start(frame_stats& stats, std::FILE* file)
{
    stats.file = file;
    if (!file) return;
    std::setvbuf(file, stats.buffer, _IOFBF, sizeof stats.buffer);
    std::fputs("# frame deadline_ms present_ms bytes music_ms\n", file);
}

void stats_paced(frame_stats& stats, std::uint32_t deadline)
{
    stats.deadline = deadline;
    stats.due = true;
}

void stats_write(frame_stats& stats, int bytes, std::int64_t written_ns)
{
    if (!stats.file || !stats.due) return;
    stats.due = false;
    const auto tick = static_cast<std::uint32_t>(written_ns / 1000000);  // the tick count's clock
    const auto micros = static_cast<unsigned>(written_ns % 1000000 / 1000);
    std::fprintf(stats.file, "%u %u %u.%03u %d %d\n", static_cast<unsigned>(stats.frame++),
                 static_cast<unsigned>(stats.deadline), static_cast<unsigned>(tick), micros, bytes,
                 static_cast<int>(stats.music));
}

void stats_flush(frame_stats& stats)
{
    if (stats.file) std::fflush(stats.file);
}

std::int64_t frame_lead_ns(std::uint32_t paced_deadline, std::int64_t now_ns)
{
    const std::uint32_t due_tick = paced_deadline + frame_ms + 1;
    return static_cast<std::int32_t>(due_tick - static_cast<std::uint32_t>(now_ns / 1000000)) * std::int64_t{1000000} -
           now_ns % 1000000;
}
