#include "app/options.h"

#include <getopt.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "app/option_table.h"
#include "base/printable.h"
#include "timeline/show_timeline.h"

namespace {

constexpr int row_count = option_row_count;
// getopt_long reports a long option by this plus its row; below it lie the short ones.
constexpr int row_code = 256;
constexpr int help_column = 26;

// The rules between the picture and video options; nullptr when they hold.
const char* check_capture_options(const demo_options& o)
{
    static char message[160];
    if (o.png_path && !o.at_given) return "--png needs --at MS, the music time of the frame";
    if (o.at_given && !o.png_path) return "option --at needs --png FILE";
    if (o.font_path && !o.png_path && !o.video_path && !o.window) return "option --font needs --png, --video or --window";
    if (o.video_size_given && !o.video_path) return "option --video-size needs --video FILE.mp4";
    if (o.video_path && o.step_ms != frame_ms) return "option --video needs the default --step 20";
    if (o.video_path && !o.frames) return "option --video: there is no frame to show with --frames 0";
    // Their frames are numbered from the start of the show.
    if ((o.png_path || o.video_path) && (o.from_ms || o.loop)) return "options --from and --loop do not go with --png or --video";
    if (o.png_path && !o.at_start && o.at_ms / o.step_ms >= o.frames) {
        std::snprintf(message, sizeof message, "option --at: %u ms is past the end of the show "
                      "(the last frame shows %llu ms)", o.at_ms,
                      o.frames ? static_cast<unsigned long long>(o.frames - 1) * o.step_ms : 0ull);
        if (!o.frames) return "option --at: there is no frame to show with --frames 0";
        return message;
    }
    return nullptr;
}

// The score's WAV and the pictures are each written by a run that does
// nothing else: any other option given is named; nullptr when there is none.
const char* check_alone(const bool* given)
{
    static char message[200];
    for (const char* alone : {"dump-pictures", "write-score"}) {
        if (!given_option(given, alone)) continue;
        char others[160] = "";
        for (int i = 0; i < row_count; ++i) {
            const char* name = option_table[i].name;
            if (!given[i] || !std::strcmp(name, alone)) continue;
            const std::size_t used = std::strlen(others);
            std::snprintf(others + used, sizeof others - used, "%s--%s", used ? ", " : "", name);
        }
        if (!*others) continue;
        std::snprintf(message, sizeof message, "option --%s cannot be combined with %s", alone, others);
        return message;
    }
    return nullptr;
}

// Options that the others given leave without effect; nullptr when there are none.
const char* check_effect(const demo_options& o, const bool* given)
{
    static char message[120];
    if (o.mute) {
        for (const char* name : {"score", "soundtrack", "audio-latency"}) {
            if (!given_option(given, name)) continue;
            std::snprintf(message, sizeof message, "option --%s has no effect with --mute", name);
            return message;
        }
    }
    if (o.score && o.soundtrack_given) return "option --soundtrack has no effect with --score";
    if (!o.window) {
        for (const char* name : {"fullscreen", "scale"}) {
            if (!given_option(given, name)) continue;
            std::snprintf(message, sizeof message, "option --%s needs --window", name);
            return message;
        }
    } else {
        // The window draws the VGA screen's own colours; its picture is no byte stream.
        if (o.record_path) return "option --record needs a terminal, not --window";
        if (given_option(given, "color")) return "option --color has no effect with --window";
    }
    if (!o.headless) return nullptr;
    // A headless run's only sound is the video's; its colours and code page are
    // those of the byte stream, the recording and the pictures.
    if (!o.video_path) {
        for (const char* name : {"mute", "score", "soundtrack"}) {
            if (!given_option(given, name)) continue;
            std::snprintf(message, sizeof message, "option --%s has no effect without --video when --headless", name);
            return message;
        }
    }
    if (given_option(given, "color") && !o.ansi_path && !o.record_path)
        return "option --color has no effect without --ansi or --record when --headless";
    if (given_option(given, "codepage") && !o.ansi_path && !o.record_path && !o.png_path && !o.video_path)
        return "option --codepage has no effect without --ansi, --record, --png or --video when --headless";
    return nullptr;
}

}  // namespace

bool parse_options(int argc, char** argv, demo_options& o, char* error, int size)
{
    // Values from the command line are echoed escaped, as one printable line.
    auto fail = [&](const char* fmt, const char* a, const char* b) {
        char shown_a[96], shown_b[96];
        printable_copy(a, shown_a, sizeof shown_a);
        printable_copy(b, shown_b, sizeof shown_b);
        std::snprintf(error, static_cast<std::size_t>(size), fmt, shown_a, shown_b);
        return false;
    };
    static option long_options[row_count + 1];
    int n = 0;
    for (int i = 0; i < row_count; ++i) {
        const option_row& r = option_table[i];
        if (!r.name) continue;
        long_options[n++] = {r.name, r.kind == no_value ? no_argument : required_argument, nullptr,
                             row_code + i};
    }
    long_options[n] = {nullptr, 0, nullptr, 0};

    const char* scoped[4] = {};  // the last option given of each scope, by its name
    bool given[row_count] = {};  // by canonical row
    char flag_name[64];
    opterr = 0;   // every message is ours
    optind = 0;   // a full rescan, also when called again
    for (;;) {
        const int c = getopt_long(argc, argv, "+:h", long_options, nullptr);
        if (c == -1) break;
        if (c == 'h') {
            o.help = true;
            continue;
        }
        if (c == ':' || c == '?') {
            if (optopt >= row_code) {
                const option_row& r = option_table[optopt - row_code];
                std::snprintf(flag_name, sizeof flag_name, "--%s", r.name);
                if (c == '?') return fail("option %s takes no value%s", flag_name, "");
                return fail(r.kind == file_value ? "option %s needs a file name%s"
                                                 : "option %s needs a value%s",
                            flag_name, "");
            }
            if (optopt) {
                std::snprintf(flag_name, sizeof flag_name, "-%c", optopt);
                return fail("unknown option '%s'%s", flag_name, "");
            }
            return fail("unknown option '%s'%s", argv[optind - 1], "");
        }
        const option_row& r = option_table[c - row_code];
        const int row = canonical_row(c - row_code);
        std::snprintf(flag_name, sizeof flag_name, "--%s", option_table[row].name);
        // A value given twice would drop the first in silence.
        if (given[row] && r.kind != no_value) return fail("option %s is given more than once%s", flag_name, "");
        given[row] = true;
        std::uint32_t number = 0;
        if (r.kind == file_value && !*optarg) return fail("option %s needs a file name%s", flag_name, "");
        if (r.kind == number_value && !parse_u32(optarg, number))
            return fail("option %s: '%s' is not a whole number from 0 to 4294967295", flag_name, optarg);
        if (const char* problem = r.apply(o, optarg, number)) {
            char format[128];
            std::snprintf(format, sizeof format, "option %%s: %s", problem);
            return fail(format, flag_name, optarg);
        }
        // Names of the rows, which outlive this call, not of the buffer.
        scoped[r.scope] = r.name;
    }
    if (optind < argc) return fail("unknown option '%s'%s", argv[optind], "");

    if (o.help || o.version) return true;
    if (const char* problem = check_alone(given)) return fail("%s%s", problem, "");
    if (o.headless && o.window) return fail("option --window does not go with --headless%s%s", "", "");
    if (!o.serve_listen && !o.ssh_listen && scoped[serve_only])
        return fail("option --%s needs --serve or --ssh%s", scoped[serve_only], "");
    if (o.ssh_listen && !o.ssh_host_key) return fail("option --ssh needs --ssh-host-key FILE%s%s", "", "");
    if (!o.ssh_listen && (o.ssh_host_key || given_option(given, "ssh-login-limit")))
        return fail("option --%s needs --ssh%s", o.ssh_host_key ? "ssh-host-key" : "ssh-login-limit", "");
    if (!o.serve_listen && o.serve_web) return fail("option --serve-web needs --serve%s%s", "", "");
    if (o.serve_listen || o.ssh_listen) {
        // A server shows no terminal, window or file of its own: only the
        // code page of the glyphs goes with it.
        for (int i = 0; i < row_count; ++i) {
            const option_row& r = option_table[i];
            if (!given[i] || r.scope == serve_only || !std::strcmp(r.name, "codepage")) continue;
            return fail("option --%s does not go with %s", r.name, o.serve_listen ? "--serve" : "--ssh");
        }
        return true;
    }
    if (!o.headless) {
        if (scoped[headless_only]) return fail("option --%s needs --headless%s", scoped[headless_only], "");
    } else if (scoped[terminal_only]) {
        return fail("option --%s needs a terminal, not --headless%s", scoped[terminal_only], "");
    } else if (!o.dump_path && !o.ansi_path && !o.record_path && !o.png_path && !o.video_path) {
        return fail("--headless needs --dump FILE, --ansi FILE, --record FILE.cast, --png FILE or --video FILE%s%s", "", "");
    }
    if (const char* problem = check_capture_options(o)) return fail("%s%s", problem, "");
    if (const char* problem = check_effect(o, given)) return fail("%s%s", problem, "");
    return true;
}

void write_usage(std::FILE* out)
{
    std::fputs("Usage: glimfant [OPTION]...\n"
               "A real-time audiovisual demo for an 80 x 25 text terminal.\n"
               "Press SPACE at the start screen to begin the show, ESC or q to leave.\n"
               "During the show p or SPACE pauses and resumes it; the right arrow or Page\n"
               "Down moves to the next scene, the left arrow or Page Up back to the start\n"
               "of this scene (in its first second, of the one before).\n",
               out);
    for (int i = 0; i < row_count; ++i) {
        const option_row& r = option_table[i];
        if (!r.help) continue;
        if (!r.name) {
            std::fprintf(out, "\n%s\n", r.help);
            continue;
        }
        char head[64];
        int len = std::snprintf(head, sizeof head, "  --%s%s%s", r.name, r.value_name ? " " : "",
                                r.value_name ? r.value_name : "");
        std::fputs(head, out);
        // A long head shares the line with the first word or two of the help.
        int column = len < help_column ? help_column : len + 2;
        std::fprintf(out, "%*s", column - len, "");
        for (const char* p = r.help; *p; ++p) {
            std::fputc(*p, out);
            if (*p == '\n') std::fprintf(out, "%*s", help_column, "");
        }
        std::fputc('\n', out);
    }
    std::fputs("\nScenes (for --from), in running order:\n ", out);
    int column = 1;
    for (int i = 0; i < show_scene_count; ++i) {
        const int width = static_cast<int>(std::strlen(show_scenes[i].name)) + 2;
        if (column + width > 78) {
            std::fputs("\n ", out);
            column = 1;
        }
        std::fprintf(out, " %s%s", show_scenes[i].name, i + 1 < show_scene_count ? "," : "\n");
        column += width;
    }
}
