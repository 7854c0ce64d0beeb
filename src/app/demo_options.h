// What the command line asks for: every option's value, its default when
// the option is not given (the plain demo).
#pragma once
#include <cstdint>

#include "render/ascii_render.h"
#include "render/codepages.h"
#include "timeline/show_timeline.h"

struct demo_options {
    bool help = false;
    bool version = false;

    bool headless = false;
    bool seed_given = false;
    std::uint32_t seed = 0;         // --seed S; defaults to the start tick
    std::uint32_t start_tick = 0;   // --start-tick T
    std::uint32_t step_ms = frame_ms;  // --step MS, > 0
    std::uint32_t frames = show_frame_count;  // --frames N
    const char* dump_path = nullptr;   // --dump FILE
    const char* ansi_path = nullptr;   // --ansi FILE
    const char* png_path = nullptr;    // --png FILE.png: the frame at --at as a picture
    bool at_given = false;
    std::uint32_t at_ms = 0;           // --at MS: music time of the picture; its frame is MS / step
    bool at_start = false;             // --at start: the start picture instead
    const char* video_path = nullptr;  // --video FILE.mp4: every frame and the sound
    bool video_size_given = false;
    bool video_small = false;          // --video-size small: 720 x 400 rather than 1440 x 800
    const char* font_path = nullptr;   // --font FILE: the .hex font for pictures and the window; nullptr: unifont's

    bool window = false;            // --window: the show in a window of its own
    bool fullscreen = false;        // --fullscreen: that window full screen from the start
    int scale = 0;                  // --scale fit|integer|square: a picture_scale, fit by default

    int codepage = default_codepage;  // --codepage 437|850|865
    int color = 0;                  // --color 16|256|truecolor (24); 0 = from COLORTERM

    const char* soundtrack = default_soundtrack;  // --soundtrack FILE
    bool soundtrack_given = false;
    bool mute = false;              // --mute
    bool score = false;             // --score
    int audio_latency_ms = -1;      // --audio-latency MS, 0..1000
    const char* stats_path = nullptr;  // --stats FILE: per-frame timing and bytes, terminal only
    const char* record_path = nullptr; // --record FILE.cast: the terminal bytes as an asciicast

    std::int32_t from_ms = 0;       // --from MS or a scene's name: where the show begins
    bool loop = false;              // --loop: again from the start after the end
    bool screensaver = false;       // --screensaver: no start picture, looping, any key ends

    const char* serve_listen = nullptr;  // --serve [ADDRESS:]PORT: serve the show to viewers over the network
    const char* serve_web = nullptr;     // --serve-web DIR: the web page's folder
    bool serve_code_page_bytes = false;  // --serve-charset cp437 rather than utf8
    std::uint32_t max_viewers = 1000;    // --max-viewers N
    std::uint32_t max_per_address = 10;  // --max-per-address N
    std::uint32_t max_new_per_minute = 60;  // --max-new-per-minute N
    std::uint32_t stall_limit_s = 10;    // --stall-limit S
    bool proxy_protocol = false;         // --proxy-protocol
    const char* ssh_listen = nullptr;    // --ssh [ADDRESS:]PORT: serve the show over ssh too, or only
    const char* ssh_host_key = nullptr;  // --ssh-host-key FILE
    std::uint32_t ssh_login_limit_s = 30;  // --ssh-login-limit S

    const char* write_score_path = nullptr;     // --write-score FILE.wav
    const char* dump_pictures_path = nullptr;   // --dump-pictures FILE
};
