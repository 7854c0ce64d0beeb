// SDL2, loaded by its soname on first use rather than linked: the sound and
// the window load it, while a muted terminal show, a headless run or a
// server never maps it (and nothing of it ever opens a display unless the
// window asks). Compiled against the headers of the SDL2 the program is built
// with; SDL2 keeps its ABI, so any 2.x at or past that version serves.
#pragma once

#include <SDL.h>

// The functions the sound and the window call, named as SDL names them
// without the SDL_ prefix.
struct sdl_functions {
    decltype(&::SDL_InitSubSystem) InitSubSystem;
    decltype(&::SDL_QuitSubSystem) QuitSubSystem;
    decltype(&::SDL_GetError) GetError;
    decltype(&::SDL_SetHint) SetHint;
    decltype(&::SDL_LogSetOutputFunction) LogSetOutputFunction;

    decltype(&::SDL_OpenAudioDevice) OpenAudioDevice;
    decltype(&::SDL_CloseAudioDevice) CloseAudioDevice;
    decltype(&::SDL_PauseAudioDevice) PauseAudioDevice;
    decltype(&::SDL_LockAudioDevice) LockAudioDevice;
    decltype(&::SDL_UnlockAudioDevice) UnlockAudioDevice;
    decltype(&::SDL_GetAudioDeviceStatus) GetAudioDeviceStatus;

    decltype(&::SDL_GetDisplayUsableBounds) GetDisplayUsableBounds;
    decltype(&::SDL_GetDesktopDisplayMode) GetDesktopDisplayMode;
    decltype(&::SDL_CreateWindow) CreateWindow;
    decltype(&::SDL_DestroyWindow) DestroyWindow;
    decltype(&::SDL_SetWindowMinimumSize) SetWindowMinimumSize;
    decltype(&::SDL_SetWindowFullscreen) SetWindowFullscreen;
    decltype(&::SDL_GetWindowFlags) GetWindowFlags;
    decltype(&::SDL_GetWindowDisplayMode) GetWindowDisplayMode;
    decltype(&::SDL_ShowCursor) ShowCursor;
    decltype(&::SDL_PollEvent) PollEvent;
    decltype(&::SDL_WaitEventTimeout) WaitEventTimeout;
    decltype(&::SDL_CreateRenderer) CreateRenderer;
    decltype(&::SDL_DestroyRenderer) DestroyRenderer;
    decltype(&::SDL_GetRendererInfo) GetRendererInfo;
    decltype(&::SDL_GL_GetProcAddress) GL_GetProcAddress;
    decltype(&::SDL_GetRendererOutputSize) GetRendererOutputSize;
    decltype(&::SDL_CreateTexture) CreateTexture;
    decltype(&::SDL_DestroyTexture) DestroyTexture;
    decltype(&::SDL_SetTextureBlendMode) SetTextureBlendMode;
    decltype(&::SDL_LockTexture) LockTexture;
    decltype(&::SDL_UnlockTexture) UnlockTexture;
    decltype(&::SDL_SetRenderDrawColor) SetRenderDrawColor;
    decltype(&::SDL_RenderClear) RenderClear;
    decltype(&::SDL_RenderCopy) RenderCopy;
    decltype(&::SDL_RenderPresent) RenderPresent;
};

// Filled by sdl_load, all or none; read by the sound and the window.
extern sdl_functions sdl;

// Loads SDL2 and looks up every function in sdl, once; later calls give the
// first answer. Also keeps SDL's log off standard error (the picture, in a
// terminal) and its hands off the signals, which the hosts own. False, with
// one line in why (size bytes) naming what is missing and the Debian package
// that brings it.
bool sdl_load(char* why, int size);
