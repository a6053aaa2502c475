#include "libs/mpegdll/src/sound_card_output.h"

#include "libs/mpegdll/src/library_error.h"

namespace mpegdll {

SoundSystem::~SoundSystem() {
    if (!started_)
        return;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    // With nothing else of SDL in use, release its global state as well: this library may be
    // unloaded next, and SDL with it.
    if (SDL_WasInit(SDL_INIT_EVERYTHING) == 0)
        SDL_Quit();
}

void SoundSystem::start() {
    if (started_)
        return;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        if (SDL_WasInit(SDL_INIT_EVERYTHING) == 0)
            SDL_Quit();
        throw LibraryError(MPEGDLL_ERR_OUTPUT);
    }
    started_ = true;
}

SoundCardOutput::SoundCardOutput(int deviceNumber, int rate, int channels)
    : frameBytes_(sizeof(std::int16_t) * static_cast<std::size_t>(channels)) {
    const char* name = nullptr;
    if (deviceNumber > 0 && deviceNumber - 1 < SDL_GetNumAudioDevices(0))
        name = SDL_GetAudioDeviceName(deviceNumber - 1, 0);

    SDL_AudioSpec wanted{};
    wanted.freq = rate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = static_cast<Uint8>(channels);
    wanted.samples = 2048;
    wanted.callback = nullptr;
    SDL_AudioSpec obtained{};
    device_ = SDL_OpenAudioDevice(name, 0, &wanted, &obtained, 0);
    if (device_ == 0)
        throw LibraryError(MPEGDLL_ERR_OUTPUT);
}

SoundCardOutput::~SoundCardOutput() {
    SDL_CloseAudioDevice(device_);
}

bool SoundCardOutput::queue(const std::int16_t* samples, std::size_t frames) {
    return SDL_QueueAudio(device_, samples, static_cast<Uint32>(frames * frameBytes_)) == 0;
}

std::size_t SoundCardOutput::queuedFrames() const {
    return SDL_GetQueuedAudioSize(device_) / frameBytes_;
}

void SoundCardOutput::setPaused(bool paused) {
    SDL_PauseAudioDevice(device_, paused ? 1 : 0);
}

void SoundCardOutput::clear() {
    SDL_ClearQueuedAudio(device_);
}

} // namespace mpegdll
