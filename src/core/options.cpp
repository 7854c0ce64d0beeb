#include "core/options.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

const char usage_text[] =
    "Usage: glimfant [OPTION]...\n"
    "A real-time audiovisual demo for an 80 x 25 text terminal.\n"
    "Press SPACE at the start screen to begin the show, ESC or q to leave.\n"
    "\n"
    "Terminal and sound:\n"
    "  --codepage 437|850|865  code page of the character bytes (default 437)\n"
    "  --color 16|256|truecolor  colour output (default: truecolor when\n"
    "                          COLORTERM says so, otherwise 16 colours)\n"
    "  --soundtrack FILE       the soundtrack to play (default brumo.mp3)\n"
    "  --score                 play the built-in score even if the soundtrack exists\n"
    "  --mute                  no sound; the show runs on a silent clock\n"
    "  --audio-latency MS      output latency to compensate, 0..1000 ms\n"
    "  --stats FILE            write a line a frame: frame number, deadline (ms),\n"
    "                          present time (ms), bytes sent to the terminal\n"
    "\n"
    "Rendering without a terminal:\n"
    "  --headless              no terminal, keyboard or sound; virtual clocks\n"
    "  --dump FILE             append each frame's 2000 cells (little-endian\n"
    "                          16-bit, row-major, 4000 bytes a frame)\n"
    "  --ansi FILE             write the bytes an 80 x 25 terminal would receive\n"
    "  --frames N              frames to render (default 7850, the whole show)\n"
    "  --step MS               music time advance per frame (default 20)\n"
    "  --start-tick T          virtual tick count at start-up (default 0)\n"
    "  --seed S                random seed (default: the start tick)\n"
    "\n"
    "Other:\n"
    "  --dump-pictures FILE    write the eight pictures, 25 x 80 bytes each\n"
    "  --write-score FILE.wav  write the built-in score as a WAV file\n"
    "  --help                  show this help and exit\n"
    "  --version               show the version and exit\n";

namespace {

bool parse_u32(const char* text, std::uint32_t& out)
{
    if (!text || !*text || *text == '-' || *text == '+' || *text == ' ') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text, &end, 10);
    if (errno || *end || v > 0xFFFFFFFFull) return false;
    out = static_cast<std::uint32_t>(v);
    return true;
}

}  // namespace

bool parse_options(int argc, char** argv, demo_options& o, char* error, int size)
{
    auto fail = [&](const char* fmt, const char* a, const char* b) {
        std::snprintf(error, static_cast<std::size_t>(size), fmt, a, b);
        return false;
    };
    const char* headless_only = nullptr;  // an option that means nothing without --headless
    const char* terminal_only = nullptr;  // an option that means nothing with --headless
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        auto need = [&]() { return value != nullptr; };
        std::uint32_t u = 0;

        if (!std::strcmp(arg, "--help") || !std::strcmp(arg, "-h")) {
            o.help = true;
        } else if (!std::strcmp(arg, "--version")) {
            o.version = true;
        } else if (!std::strcmp(arg, "--headless")) {
            o.headless = true;
        } else if (!std::strcmp(arg, "--mute")) {
            o.mute = true;
        } else if (!std::strcmp(arg, "--score")) {
            o.score = true;
        } else if (!std::strcmp(arg, "--seed") || !std::strcmp(arg, "--start-tick") ||
                   !std::strcmp(arg, "--step") || !std::strcmp(arg, "--frames") ||
                   !std::strcmp(arg, "--codepage") || !std::strcmp(arg, "--audio-latency")) {
            if (!need()) return fail("option %s needs a value%s", arg, "");
            if (!parse_u32(value, u))
                return fail("option %s: '%s' is not a whole number from 0 to 4294967295", arg, value);
            ++i;
            if (std::strcmp(arg, "--codepage") && std::strcmp(arg, "--audio-latency"))
                headless_only = arg;
            if (!std::strcmp(arg, "--seed")) {
                o.seed = u;
                o.seed_given = true;
            } else if (!std::strcmp(arg, "--start-tick")) {
                o.start_tick = u;
            } else if (!std::strcmp(arg, "--step")) {
                if (u == 0) return fail("option %s: the step must be at least 1 ms, not '%s'", arg, value);
                o.step_ms = u;
            } else if (!std::strcmp(arg, "--frames")) {
                o.frames = u;
            } else if (!std::strcmp(arg, "--codepage")) {
                if (u != 437 && u != 850 && u != 865)
                    return fail("option %s: '%s' is not one of 437, 850, 865", arg, value);
                o.codepage = static_cast<int>(u);
            } else {
                if (u > 1000) return fail("option %s: '%s' is not from 0 to 1000 ms", arg, value);
                o.audio_latency_ms = static_cast<int>(u);
            }
        } else if (!std::strcmp(arg, "--color") || !std::strcmp(arg, "--colour")) {
            if (!need()) return fail("option %s needs a value%s", arg, "");
            ++i;
            if (!std::strcmp(value, "16")) o.color = 16;
            else if (!std::strcmp(value, "256")) o.color = 256;
            else if (!std::strcmp(value, "truecolor") || !std::strcmp(value, "24bit")) o.color = 24;
            else return fail("option %s: '%s' is not one of 16, 256, truecolor", arg, value);
        } else if (!std::strcmp(arg, "--dump") || !std::strcmp(arg, "--ansi") ||
                   !std::strcmp(arg, "--soundtrack") || !std::strcmp(arg, "--write-score") ||
                   !std::strcmp(arg, "--dump-pictures") || !std::strcmp(arg, "--stats")) {
            if (!need() || !*value) return fail("option %s needs a file name%s", arg, "");
            ++i;
            if (!std::strcmp(arg, "--dump")) {
                o.dump_path = value;
                headless_only = arg;
            } else if (!std::strcmp(arg, "--ansi")) {
                o.ansi_path = value;
                headless_only = arg;
            }
            else if (!std::strcmp(arg, "--soundtrack")) {
                o.soundtrack = value;
                o.soundtrack_given = true;
            } else if (!std::strcmp(arg, "--stats")) {
                o.stats_path = value;
                terminal_only = arg;
            } else if (!std::strcmp(arg, "--write-score")) o.write_score_path = value;
            else o.dump_pictures_path = value;
        } else {
            return fail("unknown option '%s'%s", arg, "");
        }
    }
    if (o.help || o.version) return true;
    if (!o.headless) {
        if (headless_only) return fail("option %s needs --headless%s", headless_only, "");
    } else if (terminal_only) {
        return fail("option %s needs a terminal, not --headless%s", terminal_only, "");
    } else if (!o.dump_path && !o.ansi_path) {
        return fail("--headless needs --dump FILE or --ansi FILE%s%s", "", "");
    }
    return true;
}
