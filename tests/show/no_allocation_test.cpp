// Nothing is allocated once the show runs. A counting operator new watches the
// real frame loop (run_demo on a scripted platform whose present encodes every
// frame for the terminal in all three colour modes) through the whole show,
// and then each scene for a few hundred frames of its own.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "show/driver.h"
#include "show/schedule.h"
#include "terminal/ansi_encoder.h"

namespace {

std::atomic<bool> counting{false};
std::atomic<long> allocations{0};  // operator new calls while counting

void* counted_new(std::size_t size)
{
    if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}

void* counted_aligned_new(std::size_t size, std::align_val_t align)
{
    if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
    const auto a = static_cast<std::size_t>(align);
    if (void* p = std::aligned_alloc(a, (size + a - 1) / a * a)) return p;
    throw std::bad_alloc();
}

}  // namespace

// Replaced for the whole test program; the library's nothrow forms call these.
void* operator new(std::size_t size) { return counted_new(size); }
void* operator new[](std::size_t size) { return counted_new(size); }
void* operator new(std::size_t size, std::align_val_t align) { return counted_aligned_new(size, align); }
void* operator new[](std::size_t size, std::align_val_t align) { return counted_aligned_new(size, align); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

namespace {

constexpr int show_frames = 7850;
constexpr int frames_after_the_show = 300;  // the last scene runs on until ESC
constexpr int frames_per_scene = 300;
constexpr int scene_codes = 64;             // scene codes are below this
constexpr int color_modes[3] = {16, 256, 24};

void* volatile kept;  // keeps the compiler from leaving out a new-delete pair
ansi_encoder encoders[3];
char encoded[ansi_frame_capacity];

struct scripted_show {
    bool music_started = false;
    int frames = 0;             // frames presented since the music start
    int frames_wanted = 0;
    bool held = false;          // the music time is held_ms instead of 20 ms a frame
    std::int32_t held_ms = 0;
    long seen = 0;              // allocations counted up to the last present
    int frames_in[scene_codes];       // frames that ended in each scene
    long allocations_in[scene_codes]; // allocations of the frames that ended in it
} show;

// The terminal's per-frame work, in every colour mode.
void encode_all(const screen_cell* cells)
{
    for (ansi_encoder& e : encoders) encode_frame(e, cells, encoded);
}

// A frame is over: what it allocated goes to the scene it ended in.
void account_frame()
{
    const long now = allocations.load();
    ASSERT_GE(demo.scene, 0);
    ASSERT_LT(demo.scene, scene_codes);
    show.allocations_in[demo.scene] += now - show.seen;
    ++show.frames_in[demo.scene];
    show.seen = now;
}

std::uint32_t show_ticks() { return 1000u + 20u * static_cast<std::uint32_t>(show.frames); }
bool show_space() { return true; }
bool show_escape() { return show.frames >= show.frames_wanted; }
std::uint32_t show_pace(std::uint32_t deadline) { return deadline; }
void show_present(const screen_cell* cells, int, int)
{
    encode_all(cells);
    if (!show.music_started) return;  // the start picture, still start-up
    ++show.frames;
    account_frame();
}
int show_music_start(const char*)
{
    show.music_started = true;
    show.seen = allocations.load();
    counting = true;  // start-up is over: from here on, nothing may be allocated
    return 1;
}
std::int32_t show_music_time() { return show.held ? show.held_ms : 20 * show.frames; }
void show_shutdown() { counting = false; }

constexpr platform_api show_api{show_ticks,   show_space,       show_escape,     show_pace,
                                show_present, show_music_start, show_music_time, show_shutdown,
                                nullptr,      nullptr,          nullptr};

void start_counting(int frames_wanted)
{
    show = scripted_show{};
    show.frames_wanted = frames_wanted;
    allocations = 0;
    for (int k = 0; k < 3; ++k) encoder_init(encoders[k], 437, color_modes[k], screen_width, screen_height);
}

// Each scene, from the first frame of the show to its end; scene 0 only opens.
constexpr int scenes_in_order[] = {1, 2, 3, 21, 22, 23, 61, 16, 17, 51, 52, 53, 54, 55};

// Each scene's span in beats, for the held runs; scene 23 has none, as it
// passes on in the frame that enters it.
struct scene_span {
    int code;
    double first_beat, end_beat;
};
constexpr scene_span spans[] = {
    {1, 0, 2},      {2, 2, 30},     {3, 30, 36},    {21, 36, 68},   {22, 68, 100},
    {61, 100, 140}, {16, 140, 212}, {17, 212, 214}, {51, 214, 230}, {52, 230, 246},
    {53, 246, 270}, {54, 270, 458}, {55, 458, 470},
};

TEST(no_allocation, the_counter_sees_plain_array_and_aligned_news)
{
    struct alignas(64) wide {
        char bytes[64];
    };
    allocations = 0;
    counting = true;
    int* one = new int(1);
    kept = one;
    delete one;
    int* many = new int[8];
    kept = many;
    delete[] many;
    wide* w = new wide;
    kept = w;
    delete w;
    counting = false;
    EXPECT_EQ(allocations.load(), 3);
}

TEST(no_allocation, in_any_frame_of_the_show_and_its_encoding)
{
    start_counting(show_frames + frames_after_the_show);
    demo_config config;
    config.seed_given = true;
    config.seed = 7;
    EXPECT_EQ(run_demo(show_api, config), 0);

    EXPECT_EQ(show.frames, show_frames + frames_after_the_show);
    for (int code : scenes_in_order) {
        EXPECT_EQ(show.allocations_in[code], 0) << "scene " << code;
        if (code != 23) {  // 23 passes on in the frame that enters it
            EXPECT_GT(show.frames_in[code], 0) << "scene " << code;
        }
    }
    EXPECT_EQ(allocations.load(), 0);
}

// Scenes the script keeps short (two beats, or one frame) get as many frames
// as the long ones: the music time runs round inside the scene's span.
TEST(no_allocation, in_a_few_hundred_frames_of_each_scene)
{
    start_counting(0);
    demo_config config;
    config.seed_given = true;
    config.seed = 11;
    demo_setup(show_api, config);
    demo.frame_deadline = 1000;
    show.held = true;
    counting = true;
    for (const scene_span& span : spans) {
        const auto first = static_cast<std::int32_t>(beat_time(span.first_beat)) + 1;
        const auto length = static_cast<std::int32_t>(beat_time(span.end_beat)) - first;
        for (auto& e : encoders) encoder_resize(e, screen_width, screen_height);  // one full redraw each
        for (int k = 0; k < frames_per_scene; ++k) {
            demo.scene = span.code;
            show.held_ms = first + (20 * k) % length;
            clear_screen();
            run_scene();
            demo.frame_deadline += 20;
            encode_all(screen_buffer);
            account_frame();
        }
        EXPECT_EQ(show.allocations_in[span.code], 0) << "scene " << span.code;
        EXPECT_EQ(show.frames_in[span.code], frames_per_scene) << "scene " << span.code;
    }
    counting = false;
    EXPECT_EQ(allocations.load(), 0);
}

}  // namespace
