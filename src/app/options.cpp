#include "app/options.h"

#include <getopt.h>
#include <strings.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string_view>

#include "base/printable.h"
#include "timeline/show_timeline.h"

namespace {

enum value_kind { no_value, number_value, word_value, file_value };
enum option_scope { anywhere, terminal_only, headless_only, serve_only };

// What an option does with its value. Returns nullptr, or a message about the
// value with one %s for it (the caller puts "option --name: " in front).
using apply_fn = const char* (*)(demo_options& o, const char* text, std::uint32_t number);

// One row an option; a row without a name starts a section of --help. A row
// without help text is an alias that --help does not list.
struct option_row {
    const char* name;
    value_kind kind;
    option_scope scope;
    const char* value_name;  // in --help: FILE, MS ...
    const char* help;        // lines after the first are indented under it
    apply_fn apply;
};

const char* set_codepage(demo_options& o, const char*, std::uint32_t n)
{
    if (n != 437 && n != 850 && n != 865) return "'%s' is not one of 437, 850, 865";
    o.codepage = static_cast<int>(n);
    return nullptr;
}

const char* set_color(demo_options& o, const char* text, std::uint32_t)
{
    if (!std::strcmp(text, "16")) o.color = 16;
    else if (!std::strcmp(text, "256")) o.color = 256;
    else if (!std::strcmp(text, "truecolor") || !std::strcmp(text, "24bit")) o.color = 24;
    else return "'%s' is not one of 16, 256, truecolor";
    return nullptr;
}

const char* set_latency(demo_options& o, const char*, std::uint32_t n)
{
    if (n > 1000) return "'%s' is not from 0 to 1000 ms";
    o.audio_latency_ms = static_cast<int>(n);
    return nullptr;
}

// A frame that skips more than a second of music skips whole scenes; far
// larger steps would also run the music time past what it can hold.
constexpr std::uint32_t max_step_ms = 1000;

const char* set_step(demo_options& o, const char*, std::uint32_t n)
{
    if (n == 0 || n > max_step_ms) return "'%s' is not from 1 to 1000 ms";
    o.step_ms = n;
    return nullptr;
}

// A music time in ms, or the name of a scene (its first frame).
const char* set_from(demo_options& o, const char* text, std::uint32_t)
{
    for (const show_scene& scene : show_scenes)
        if (!std::strcmp(text, scene.name)) {
            o.from_ms = scene_start_ms(scene.beat);
            return nullptr;
        }
    char* end = nullptr;
    errno = 0;
    const unsigned long ms = std::strtoul(text, &end, 10);
    if (*text < '0' || *text > '9' || *end || errno || ms > static_cast<unsigned long>(show_end_ms))
        return "'%s' is neither a scene's name nor a music time from 0 to 158154 ms";
    o.from_ms = static_cast<std::int32_t>(ms);
    return nullptr;
}

// A file name's ending, any case: ".cast", ".png" or ".mp4".
bool has_extension(const char* name, const char* extension)
{
    const std::size_t n = std::strlen(name), e = std::strlen(extension);
    return n > e && !strcasecmp(name + n - e, extension);
}

const char* set_record(demo_options& o, const char* text, std::uint32_t)
{
    if (!has_extension(text, ".cast")) return "'%s' does not end in .cast";
    o.record_path = text;
    return nullptr;
}

const char* set_png(demo_options& o, const char* text, std::uint32_t)
{
    if (!has_extension(text, ".png")) return "'%s' does not end in .png";
    o.png_path = text;
    return nullptr;
}

const char* set_video(demo_options& o, const char* text, std::uint32_t)
{
    if (!has_extension(text, ".mp4")) return "'%s' does not end in .mp4";
    o.video_path = text;
    return nullptr;
}

const char* set_write_score(demo_options& o, const char* text, std::uint32_t)
{
    if (!has_extension(text, ".wav")) return "'%s' does not end in .wav";
    o.write_score_path = text;
    return nullptr;
}

const char* set_video_size(demo_options& o, const char* text, std::uint32_t)
{
    if (!std::strcmp(text, "large")) o.video_small = false;
    else if (!std::strcmp(text, "small")) o.video_small = true;
    else return "'%s' is not one of large, small";
    o.video_size_given = true;
    return nullptr;
}

// The help and the messages name these in words.
static_assert(frame_ms == 20 && frames_per_second == 50, "the frame time in words");
static_assert(show_frame_count == 7850 && show_end_ms == 158154, "the show's length in words");
static_assert(default_codepage == 437, "the default code page in words");
static_assert(std::string_view(default_soundtrack) == "brumo.mp3", "the default soundtrack in words");

// A music time in ms, or "start": the start picture.
const char* set_at(demo_options& o, const char* text, std::uint32_t)
{
    o.at_given = true;
    if (!std::strcmp(text, "start")) {
        o.at_start = true;
        return nullptr;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long long ms = std::strtoull(text, &end, 10);
    if (*text < '0' || *text > '9' || *end || errno || ms > 0xFFFFFFFFull)
        return "'%s' is neither start nor a music time in ms";
    o.at_ms = static_cast<std::uint32_t>(ms);
    return nullptr;
}

// The values are picture_scale's (capture/picture_scale.h), in its order.
const char* set_scale(demo_options& o, const char* text, std::uint32_t)
{
    if (!std::strcmp(text, "fit")) o.scale = 0;
    else if (!std::strcmp(text, "integer")) o.scale = 1;
    else if (!std::strcmp(text, "square")) o.scale = 2;
    else return "'%s' is not one of fit, integer, square";
    return nullptr;
}

bool parse_u32(const char* text, std::uint32_t& out);

// [ADDRESS:]PORT: a port from 0 (any free one) to 65535, after a name or
// an address (an IPv6 address in brackets) when there is one; into field.
template <const char* demo_options::*field>
const char* set_listen(demo_options& o, const char* text, std::uint32_t)
{
    const char* colon = std::strrchr(text, ':');
    const char* port = colon ? colon + 1 : text;
    std::uint32_t n = 0;
    if ((colon && colon == text) || !parse_u32(port, n) || n > 65535 || std::strlen(port) > 5)
        return "'%s' is not [ADDRESS:]PORT with a port from 0 to 65535";
    if (colon && text[0] != '[' && std::memchr(text, ':', static_cast<std::size_t>(colon - text)))
        return "'%s': an IPv6 address goes in brackets, [ADDRESS]:PORT";
    o.*field = text;
    return nullptr;
}

const char* set_serve_charset(demo_options& o, const char* text, std::uint32_t)
{
    if (!std::strcmp(text, "utf8") || !std::strcmp(text, "utf-8")) o.serve_code_page_bytes = false;
    else if (!std::strcmp(text, "cp437")) o.serve_code_page_bytes = true;
    else return "'%s' is not one of utf8, cp437";
    return nullptr;
}

// A count of at least 1 and at most limit, into field.
template <std::uint32_t demo_options::*field, std::uint32_t limit>
const char* set_count(demo_options& o, const char*, std::uint32_t n)
{
    if (n < 1 || n > limit) return limit == 3600 ? "'%s' is not from 1 to 3600 s" : "'%s' is not from 1 to 1000000";
    o.*field = n;
    return nullptr;
}

// clang-format off
const option_row option_table[] = {
    {nullptr, no_value, anywhere, nullptr, "Terminal and sound:", nullptr},
    {"codepage", number_value, anywhere, "437|850|865", "code page of the character bytes (default 437)", set_codepage},
    {"color", word_value, anywhere, "16|256|truecolor", "colour output (default: truecolor when\nCOLORTERM says so, otherwise 16 colours; none\nwhere terminfo says the terminal has none)", set_color},
    {"colour", word_value, anywhere, "16|256|truecolor", nullptr, set_color},
    {"soundtrack", file_value, anywhere, "FILE", "the soundtrack to play (default brumo.mp3)",
     [](demo_options& o, const char* t, std::uint32_t) -> const char* { o.soundtrack = t; o.soundtrack_given = true; return nullptr; }},
    {"score", no_value, anywhere, nullptr, "play the built-in score even if the soundtrack exists",
     [](demo_options& o, const char*, std::uint32_t) -> const char* { o.score = true; return nullptr; }},
    {"mute", no_value, anywhere, nullptr, "no sound; the show runs on a silent clock",
     [](demo_options& o, const char*, std::uint32_t) -> const char* { o.mute = true; return nullptr; }},
    {"audio-latency", number_value, terminal_only, "MS", "output latency to compensate, 0..1000 ms", set_latency},
    {"stats", file_value, terminal_only, "FILE", "write a line a frame: frame number, deadline (ms),\npresent time (ms), bytes sent to the terminal\n(0: not presented, the terminal trails), music time\nshown (ms)",
     [](demo_options& o, const char* t, std::uint32_t) -> const char* { o.stats_path = t; return nullptr; }},
    {"record", file_value, anywhere, "FILE.cast", "record what the terminal receives, with its\ntiming, as an asciicast v2 file", set_record},

    {nullptr, no_value, anywhere, nullptr, "Watching:", nullptr},
    {"from", word_value, anywhere, "MS|SCENE", "begin the show at music time MS (0..158154) or\nat the start of a scene (the scenes are below)", set_from},
    {"loop", no_value, anywhere, nullptr, "after the end, the show again from its start\n(until ESC or q)",
     [](demo_options& o, const char*, std::uint32_t) -> const char* { o.loop = true; return nullptr; }},
    {"screensaver", no_value, terminal_only, nullptr, "no start picture, looping, and any key ends it",
     [](demo_options& o, const char*, std::uint32_t) -> const char* { o.screensaver = o.loop = true; return nullptr; }},

    {nullptr, no_value, anywhere, nullptr, "Window:", nullptr},
    {"window", no_value, anywhere, nullptr, "show the show in a window of its own, as a VGA\ntext screen showed it (720 x 400 at 4:3);\nF11 or Alt+Enter toggles full screen",
     [](demo_options& o, const char*, std::uint32_t) -> const char* { o.window = true; return nullptr; }},
    {"fullscreen", no_value, anywhere, nullptr, "start the window full screen",
     [](demo_options& o, const char*, std::uint32_t) -> const char* { o.fullscreen = true; return nullptr; }},
    {"scale", word_value, anywhere, "fit|integer|square", "fit: the largest 4:3 picture (default);\ninteger: 4:3 in whole multiples of 400 lines;\nsquare: square pixels, whole multiples of\n720 x 400", set_scale},

    {nullptr, no_value, anywhere, nullptr, "Rendering without a terminal:", nullptr},
    {"headless", no_value, anywhere, nullptr, "no terminal, keyboard or sound; virtual clocks",
     [](demo_options& o, const char*, std::uint32_t) -> const char* { o.headless = true; return nullptr; }},
    {"dump", file_value, headless_only, "FILE", "append each frame's 2000 cells (little-endian\n16-bit, row-major, 4000 bytes a frame)",
     [](demo_options& o, const char* t, std::uint32_t) -> const char* { o.dump_path = t; return nullptr; }},
    {"ansi", file_value, headless_only, "FILE", "write the bytes an 80 x 25 terminal would receive",
     [](demo_options& o, const char* t, std::uint32_t) -> const char* { o.ansi_path = t; return nullptr; }},
    {"frames", number_value, headless_only, "N", "frames to render (default 7850, the whole show)",
     [](demo_options& o, const char*, std::uint32_t n) -> const char* { o.frames = n; return nullptr; }},
    {"step", number_value, headless_only, "MS", "music time advance per frame, 1..1000 (default 20)", set_step},
    {"start-tick", number_value, headless_only, "T", "virtual tick count at start-up (default 0)",
     [](demo_options& o, const char*, std::uint32_t n) -> const char* { o.start_tick = n; return nullptr; }},
    {"seed", number_value, headless_only, "S", "random seed (default: the start tick)",
     [](demo_options& o, const char*, std::uint32_t n) -> const char* { o.seed = n; o.seed_given = true; return nullptr; }},
    {"png", file_value, headless_only, "FILE.png", "write the frame on screen at --at as a 720 x 400\npicture of a VGA text screen", set_png},
    {"at", word_value, headless_only, "MS|start", "music time of the --png frame: frame MS / step;\nstart: the start picture", set_at},
    {"video", file_value, headless_only, "FILE.mp4", "write every frame and the sound as an H.264 and\nAAC video, 50 frames a second",
     set_video},
    {"video-size", word_value, headless_only, "large|small", "large: each VGA pixel 2 x 2, 1440 x 800 shown\nat 4:3 (default); small: 720 x 400 square\npixels, under half the file, colours blurred\nat the glyphs' edges", set_video_size},
    {"font", file_value, anywhere, "FILE", "the .hex bitmap font for --png, --video and\n--window (default /usr/share/unifont/unifont.hex)",
     [](demo_options& o, const char* t, std::uint32_t) -> const char* { o.font_path = t; return nullptr; }},

    {nullptr, no_value, anywhere, nullptr, "Serving the show to many viewers (telnet, netcat, curl, a browser, ssh):", nullptr},
    {"serve", word_value, serve_only, "[ADDRESS:]PORT", "serve the show on PORT (0: any free one), on\nevery address or on ADDRESS; needs no terminal\nand plays no sound (a silent clock)", set_listen<&demo_options::serve_listen>},
    {"serve-web", file_value, serve_only, "DIR", "the web page for browsers, from DIR (the folder\nscripts/build-web.sh makes); default: a page\nthat says how to watch", [](demo_options& o, const char* t, std::uint32_t) -> const char* { o.serve_web = t; return nullptr; }},
    {"serve-charset", word_value, serve_only, "utf8|cp437", "glyphs as UTF-8 (default), or as the code page's\nown bytes for every terminal (BBS terminals)", set_serve_charset},
    {"max-viewers", number_value, serve_only, "N", "connections at once (default 1000)", set_count<&demo_options::max_viewers, 1000000>},
    {"max-per-address", number_value, serve_only, "N", "connections at once from one address (default 10)", set_count<&demo_options::max_per_address, 1000000>},
    {"max-new-per-minute", number_value, serve_only, "N", "new connections from one address in a minute\n(default 60)", set_count<&demo_options::max_new_per_minute, 1000000>},
    {"stall-limit", number_value, serve_only, "S", "drop a viewer that takes nothing for S seconds\n(default 10)", set_count<&demo_options::stall_limit_s, 3600>},
    {"proxy-protocol", no_value, serve_only, nullptr, "every connection starts with a PROXY header\n(HAProxy's send-proxy or send-proxy-v2)",
     [](demo_options& o, const char*, std::uint32_t) -> const char* { o.proxy_protocol = true; return nullptr; }},
    {"ssh", word_value, serve_only, "[ADDRESS:]PORT", "serve the show over ssh on PORT too (or only):\nany user name, no password; the pty's type and\nsize as with telnet; commands and forwarding\nrefused", set_listen<&demo_options::ssh_listen>},
    {"ssh-host-key", file_value, serve_only, "FILE", "the ssh server's ed25519 host key, made (mode\n0600) when FILE is missing; needed with --ssh", [](demo_options& o, const char* t, std::uint32_t) -> const char* { o.ssh_host_key = t; return nullptr; }},
    {"ssh-login-limit", number_value, serve_only, "S", "drop an ssh client not at the show S seconds\nafter connecting (default 30)", set_count<&demo_options::ssh_login_limit_s, 3600>},

    {nullptr, no_value, anywhere, nullptr, "Other:", nullptr},
    {"dump-pictures", file_value, anywhere, "FILE", "write the eight pictures, 25 x 80 bytes each",
     [](demo_options& o, const char* t, std::uint32_t) -> const char* { o.dump_pictures_path = t; return nullptr; }},
    {"write-score", file_value, anywhere, "FILE.wav", "write the built-in score as a WAV file", set_write_score},
    {"help", no_value, anywhere, nullptr, "show this help and exit",
     [](demo_options& o, const char*, std::uint32_t) -> const char* { o.help = true; return nullptr; }},
    {"version", no_value, anywhere, nullptr, "show the version and exit",
     [](demo_options& o, const char*, std::uint32_t) -> const char* { o.version = true; return nullptr; }},
};
// clang-format on

constexpr int row_count = static_cast<int>(sizeof option_table / sizeof option_table[0]);
// getopt_long reports a long option by this plus its row; below it lie the short ones.
constexpr int row_code = 256;
constexpr int help_column = 26;

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

// The row an option is counted under: an alias counts as the option it stands for.
int canonical_row(int row)
{
    while (row > 0 && !option_table[row].help && option_table[row - 1].apply == option_table[row].apply) --row;
    return row;
}

bool given_option(const bool* given, const char* name)
{
    for (int i = 0; i < row_count; ++i)
        if (option_table[i].name && !std::strcmp(option_table[i].name, name)) return given[i];
    return false;
}

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
