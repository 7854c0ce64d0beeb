#include "capture/video_libraries.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

video_library_functions ff;

namespace {

#define GLIM_NUMBER_TEXT(n) #n
#if defined(__APPLE__)
#define GLIM_SONAME(name, major) "lib" name "." GLIM_NUMBER_TEXT(major) ".dylib"
#else
#define GLIM_SONAME(name, major) "lib" name ".so." GLIM_NUMBER_TEXT(major)
#endif

#ifndef GLIMFANT_FFMPEG_LIBDIR
#define GLIMFANT_FFMPEG_LIBDIR ""  // set by the build: the folder FFmpeg's libraries were found in
#endif

constexpr char avutil_soname[] = GLIM_SONAME("avutil", LIBAVUTIL_VERSION_MAJOR);
constexpr char avcodec_soname[] = GLIM_SONAME("avcodec", LIBAVCODEC_VERSION_MAJOR);
constexpr char avformat_soname[] = GLIM_SONAME("avformat", LIBAVFORMAT_VERSION_MAJOR);
// Debian names a library's package after its soname; these two bring the third.
constexpr int avcodec_major = LIBAVCODEC_VERSION_MAJOR;
constexpr int avformat_major = LIBAVFORMAT_VERSION_MAJOR;
constexpr char hidden_suffix[] = ".hidden-by-test";

enum load_state { not_tried, loaded, missing };
load_state state = not_tried;
char load_why[768];
char open_error[512];  // what the loader said of the first try at the last library

// The loader's search path first, then the folder the build found FFmpeg in,
// for an FFmpeg installed where the loader does not look.
void* open_library(const char* soname)
{
    char name[1024];
    const char* suffix = std::getenv("GLIMFANT_TEST_HIDE_FFMPEG") ? hidden_suffix : "";
    std::snprintf(name, sizeof name, "%s%s", soname, suffix);
    // Never closed: FFmpeg keeps its own state for the life of the process.
    void* library = dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (library) return library;
    std::snprintf(open_error, sizeof open_error, "%s", dlerror());
    if (!GLIMFANT_FFMPEG_LIBDIR[0]) return nullptr;
    std::snprintf(name, sizeof name, "%s/%s%s", GLIMFANT_FFMPEG_LIBDIR, soname, suffix);
    return dlopen(name, RTLD_NOW | RTLD_LOCAL);
}

template <typename function>
bool look_up(void* library, const char* soname, function& slot, const char* name)
{
    slot = reinterpret_cast<function>(dlsym(library, name));
    if (slot) return true;
    std::snprintf(load_why, sizeof load_why, "cannot make a video: %s lacks %s (another FFmpeg than the one "
                  "glimfant was built with?)", soname, name);
    return false;
}

bool load_all()
{
    void* avutil = open_library(avutil_soname);
    void* avcodec = avutil ? open_library(avcodec_soname) : nullptr;
    void* avformat = avcodec ? open_library(avformat_soname) : nullptr;
    if (!avformat) {
        std::snprintf(load_why, sizeof load_why, "--video needs FFmpeg's libraries (apt-get install "
                      "libavcodec%d libavformat%d): %s", avcodec_major, avformat_major, open_error);
        return false;
    }
#define GLIM_LOOK_UP(library, name) look_up(library, library##_soname, ff.name, #name)
    return GLIM_LOOK_UP(avutil, av_strerror) && GLIM_LOOK_UP(avutil, av_log_set_level) &&
           GLIM_LOOK_UP(avutil, av_opt_set) && GLIM_LOOK_UP(avutil, av_dict_set) &&
           GLIM_LOOK_UP(avutil, av_dict_free) && GLIM_LOOK_UP(avutil, av_frame_alloc) &&
           GLIM_LOOK_UP(avutil, av_frame_free) && GLIM_LOOK_UP(avutil, av_frame_get_buffer) &&
           GLIM_LOOK_UP(avutil, av_frame_make_writable) && GLIM_LOOK_UP(avutil, av_channel_layout_default) &&
           GLIM_LOOK_UP(avutil, av_channel_layout_copy) &&
           GLIM_LOOK_UP(avcodec, avcodec_find_encoder) && GLIM_LOOK_UP(avcodec, avcodec_find_encoder_by_name) &&
           GLIM_LOOK_UP(avcodec, avcodec_alloc_context3) && GLIM_LOOK_UP(avcodec, avcodec_free_context) &&
           GLIM_LOOK_UP(avcodec, avcodec_open2) && GLIM_LOOK_UP(avcodec, avcodec_parameters_from_context) &&
           GLIM_LOOK_UP(avcodec, avcodec_send_frame) && GLIM_LOOK_UP(avcodec, avcodec_receive_packet) &&
           GLIM_LOOK_UP(avcodec, av_packet_alloc) && GLIM_LOOK_UP(avcodec, av_packet_free) &&
           GLIM_LOOK_UP(avcodec, av_packet_rescale_ts) &&
           GLIM_LOOK_UP(avformat, av_guess_format) && GLIM_LOOK_UP(avformat, avformat_alloc_output_context2) &&
           GLIM_LOOK_UP(avformat, avformat_free_context) && GLIM_LOOK_UP(avformat, avformat_new_stream) &&
           GLIM_LOOK_UP(avformat, avformat_write_header) && GLIM_LOOK_UP(avformat, av_interleaved_write_frame) &&
           GLIM_LOOK_UP(avformat, av_write_trailer) && GLIM_LOOK_UP(avformat, avio_open) &&
           GLIM_LOOK_UP(avformat, avio_closep);
#undef GLIM_LOOK_UP
}

}  // namespace

bool video_libraries_load(char* why, int size)
{
    if (state == not_tried) state = load_all() ? loaded : missing;
    if (state == loaded) return true;
    ff = video_library_functions{};  // all or nothing: a half-filled table would be called
    std::snprintf(why, static_cast<std::size_t>(size), "%s", load_why);
    return false;
}
