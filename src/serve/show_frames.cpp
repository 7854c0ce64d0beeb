#include "serve/show_frames.h"

#include <cstdio>
#include <cstring>

#include "render/ascii_pictures.h"
#include "show/driver.h"

namespace {

screen_cell* table = nullptr;
int presented = 0;           // frames of the show presented so far
bool started = false;        // the music started: presents are frames

std::uint32_t ticks() { return static_cast<std::uint32_t>(frame_ms * presented); }
bool yes() { return true; }
bool done() { return presented >= loop_frames; }
std::uint32_t at_once(std::uint32_t deadline) { return deadline; }
void keep(const screen_cell* cells, int, int)
{
    if (!started) return;  // the start picture
    std::memcpy(table + static_cast<std::int64_t>(presented) * screen_cells, cells, sizeof(screen_cell) * screen_cells);
    ++presented;
}
int start(const char*)
{
    started = true;
    return 1;
}
std::int32_t music() { return frame_ms * presented; }
void nothing() {}

// Text across row, centred; spaces show the black behind them.
void centred(int row, const char* text, int foreground)
{
    const int n = static_cast<int>(std::strlen(text));
    const int left = (screen_width - n) / 2;
    for (int i = 0; i < n; ++i) put_char(row, left + i, static_cast<std::uint8_t>(text[i]), foreground, 0);
}

void draw_lobby(screen_cell* out, int seconds)
{
    clear_screen();
    draw_picture(start_picture, 15, 0, '.');
    if (seconds == 0) {
        centred(20, "SPACE: the next showing   p: pause   arrows: scenes   q: leave", 7);
    } else {
        char line[64];
        std::snprintf(line, sizeof line, "the show begins in %d s", seconds);
        centred(20, line, 15);
    }
    centred(22, "no sound travels here: the show keeps a silent clock", 8);
    std::memcpy(out, screen_buffer, sizeof(screen_cell) * screen_cells);
}

}  // namespace

show_frames show_frames_render()
{
    table = new screen_cell[static_cast<std::size_t>(frame_table_size) * screen_cells];  // once; never freed
    presented = 0;
    started = false;
    const platform_api capture{ticks, yes, done, at_once, keep, start, music, nothing, nullptr, nullptr, nullptr};
    demo_config config;
    config.seed_given = true;
    config.seed = 0;
    run_demo(capture, config);
    for (int s = 0; s <= countdown_seconds_max; ++s)
        draw_lobby(table + static_cast<std::int64_t>(lobby_frame + s) * screen_cells, s);
    return show_frames{table};
}
