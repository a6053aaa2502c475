#include "libs/mpegdll/src/sdl_audio.h"

#include "libs/mpegdll/src/library_error.h"

#include <dlfcn.h>

namespace mpegdll {

namespace {

constexpr const char* sdlLibrary = "libSDL2-2.0.so.0";

template <typename Function> void bind(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(::dlsym(library, name));
    if (function == nullptr)
        throw LibraryError(MPEGDLL_ERR_OUTPUT);
}

} // namespace

SdlAudio::SdlAudio() {
    // SDL stays in the process once loaded: the threads and handlers of the libraries beneath
    // it (PulseAudio, D-Bus) are not all gone when SDL_Quit returns.
    library_ = ::dlopen(sdlLibrary, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (library_ == nullptr)
        throw LibraryError(MPEGDLL_ERR_OUTPUT);
    try {
        bind(library_, "SDL_InitSubSystem", initSubSystem);
        bind(library_, "SDL_QuitSubSystem", quitSubSystem);
        bind(library_, "SDL_WasInit", wasInit);
        bind(library_, "SDL_Quit", quit);
        bind(library_, "SDL_GetNumAudioDevices", getNumAudioDevices);
        bind(library_, "SDL_GetAudioDeviceName", getAudioDeviceName);
        bind(library_, "SDL_OpenAudioDevice", openAudioDevice);
        bind(library_, "SDL_CloseAudioDevice", closeAudioDevice);
        bind(library_, "SDL_QueueAudio", queueAudio);
        bind(library_, "SDL_GetQueuedAudioSize", getQueuedAudioSize);
        bind(library_, "SDL_PauseAudioDevice", pauseAudioDevice);
        bind(library_, "SDL_ClearQueuedAudio", clearQueuedAudio);
    } catch (...) {
        ::dlclose(library_);
        throw;
    }
}

SdlAudio::~SdlAudio() {
    ::dlclose(library_);
}

} // namespace mpegdll
