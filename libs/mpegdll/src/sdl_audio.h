#pragma once

#include <SDL.h>

namespace mpegdll {

// SDL2's audio functions, from the SDL library loaded at run time. Only playback to the sound
// card needs SDL, and SDL brings some forty libraries (X11, Wayland, PulseAudio, D-Bus...)
// whose loading and binding would otherwise make every start of a program that uses this
// library, a decode into a file included, several times slower.
class SdlAudio {
public:
    // Throws LibraryError(MPEGDLL_ERR_OUTPUT) when SDL cannot be loaded.
    SdlAudio();
    ~SdlAudio();
    SdlAudio(const SdlAudio&) = delete;
    SdlAudio& operator=(const SdlAudio&) = delete;

    decltype(&SDL_InitSubSystem) initSubSystem = nullptr;
    decltype(&SDL_QuitSubSystem) quitSubSystem = nullptr;
    decltype(&SDL_WasInit) wasInit = nullptr;
    decltype(&SDL_Quit) quit = nullptr;
    decltype(&SDL_GetNumAudioDevices) getNumAudioDevices = nullptr;
    decltype(&SDL_GetAudioDeviceName) getAudioDeviceName = nullptr;
    decltype(&SDL_OpenAudioDevice) openAudioDevice = nullptr;
    decltype(&SDL_CloseAudioDevice) closeAudioDevice = nullptr;
    decltype(&SDL_QueueAudio) queueAudio = nullptr;
    decltype(&SDL_GetQueuedAudioSize) getQueuedAudioSize = nullptr;
    decltype(&SDL_PauseAudioDevice) pauseAudioDevice = nullptr;
    decltype(&SDL_ClearQueuedAudio) clearQueuedAudio = nullptr;

private:
    void* library_ = nullptr;
};

} // namespace mpegdll
