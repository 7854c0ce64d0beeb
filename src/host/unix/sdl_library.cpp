#include "host/unix/sdl_library.h"

#include <dlfcn.h>

#include <cstdio>

sdl_functions sdl;

namespace {

#if defined(__APPLE__)
constexpr char sdl_soname[] = "libSDL2-2.0.0.dylib";
#else
constexpr char sdl_soname[] = "libSDL2-2.0.so.0";
#endif

enum load_state { not_tried, loaded, missing };
load_state state = not_tried;
char load_why[640];

template <typename function>
bool look_up(void* library, function& slot, const char* name)
{
    slot = reinterpret_cast<function>(dlsym(library, name));
    if (slot) return true;
    std::snprintf(load_why, sizeof load_why, "%s lacks %s (an SDL2 older than the one glimfant was built with?)",
                  sdl_soname, name);
    return false;
}

// SDL logs some of its choices on standard error, right over the picture.
void sdl_quiet(void*, int, SDL_LogPriority, const char*) {}

bool load_all()
{
    // Never closed: SDL keeps its own state (and threads) for the life of the process.
    void* library = dlopen(sdl_soname, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::snprintf(load_why, sizeof load_why, "SDL2 cannot be loaded (apt-get install libsdl2-2.0-0): %s",
                      dlerror());
        return false;
    }
#define GLIM_LOOK_UP(name) look_up(library, sdl.name, "SDL_" #name)
    const bool all =
        GLIM_LOOK_UP(InitSubSystem) && GLIM_LOOK_UP(QuitSubSystem) && GLIM_LOOK_UP(GetError) &&
        GLIM_LOOK_UP(SetHint) && GLIM_LOOK_UP(LogSetOutputFunction) &&
        GLIM_LOOK_UP(OpenAudioDevice) && GLIM_LOOK_UP(CloseAudioDevice) && GLIM_LOOK_UP(PauseAudioDevice) &&
        GLIM_LOOK_UP(LockAudioDevice) && GLIM_LOOK_UP(UnlockAudioDevice) && GLIM_LOOK_UP(GetAudioDeviceStatus) &&
        GLIM_LOOK_UP(GetDisplayUsableBounds) && GLIM_LOOK_UP(GetDesktopDisplayMode) &&
        GLIM_LOOK_UP(CreateWindow) && GLIM_LOOK_UP(DestroyWindow) && GLIM_LOOK_UP(SetWindowMinimumSize) &&
        GLIM_LOOK_UP(SetWindowFullscreen) && GLIM_LOOK_UP(GetWindowFlags) && GLIM_LOOK_UP(GetWindowDisplayMode) &&
        GLIM_LOOK_UP(ShowCursor) && GLIM_LOOK_UP(PollEvent) && GLIM_LOOK_UP(WaitEventTimeout) &&
        GLIM_LOOK_UP(CreateRenderer) && GLIM_LOOK_UP(DestroyRenderer) &&
        GLIM_LOOK_UP(GetRendererInfo) && GLIM_LOOK_UP(GL_GetProcAddress) && GLIM_LOOK_UP(GetRendererOutputSize) &&
        GLIM_LOOK_UP(CreateTexture) && GLIM_LOOK_UP(DestroyTexture) && GLIM_LOOK_UP(SetTextureBlendMode) &&
        GLIM_LOOK_UP(LockTexture) && GLIM_LOOK_UP(UnlockTexture) && GLIM_LOOK_UP(SetRenderDrawColor) &&
        GLIM_LOOK_UP(RenderClear) && GLIM_LOOK_UP(RenderCopy) && GLIM_LOOK_UP(RenderPresent);
#undef GLIM_LOOK_UP
    if (!all) return false;
    sdl.LogSetOutputFunction(sdl_quiet, nullptr);
    sdl.SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    return true;
}

}  // namespace

bool sdl_load(char* why, int size)
{
    if (state == not_tried) state = load_all() ? loaded : missing;
    if (state == loaded) return true;
    sdl = sdl_functions{};  // all or nothing: a half-filled table would be called
    std::snprintf(why, static_cast<std::size_t>(size), "%s", load_why);
    return false;
}
