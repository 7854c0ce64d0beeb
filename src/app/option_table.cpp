#include "app/option_table.h"

#include <strings.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "timeline/show_timeline.h"

namespace {

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

}  // namespace

// clang-format off
constexpr option_row option_table[] = {
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

// A row taken away would leave the last one empty.
static_assert(option_table[option_row_count - 1].name != nullptr, "option_row_count counts the table's rows");

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

int canonical_row(int row)
{
    while (row > 0 && !option_table[row].help && option_table[row - 1].apply == option_table[row].apply) --row;
    return row;
}

bool given_option(const bool* given, const char* name)
{
    for (int i = 0; i < option_row_count; ++i)
        if (option_table[i].name && !std::strcmp(option_table[i].name, name)) return given[i];
    return false;
}
