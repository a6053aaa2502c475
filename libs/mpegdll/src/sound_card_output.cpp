#include "libs/mpegdll/src/sound_card_output.h"

#include "libs/mpegdll/src/library_error.h"

namespace mpegdll {

SoundSystem::~SoundSystem() {
    if (!started_)
        return;
    sdl_->quitSubSystem(SDL_INIT_AUDIO);
    // With nothing else of SDL in use, release its global state as well: this library may be
    // unloaded next.
    if (sdl_->wasInit(SDL_INIT_EVERYTHING) == 0)
        sdl_->quit();
}

void SoundSystem::start() {
    if (started_)
        return;
    if (!sdl_)
        sdl_ = std::make_unique<SdlAudio>();
    if (sdl_->initSubSystem(SDL_INIT_AUDIO) != 0) {
        if (sdl_->wasInit(SDL_INIT_EVERYTHING) == 0)
            sdl_->quit();
        throw LibraryError(MPEGDLL_ERR_OUTPUT);
    }
    started_ = true;
}

SoundCardOutput::SoundCardOutput(const SdlAudio& sdl, int deviceNumber, int rate, int channels)
    : sdl_(sdl), frameBytes_(sizeof(std::int16_t) * static_cast<std::size_t>(channels)) {
    const char* name = nullptr;
    if (deviceNumber > 0 && deviceNumber - 1 < sdl_.getNumAudioDevices(0))
        name = sdl_.getAudioDeviceName(deviceNumber - 1, 0);

    SDL_AudioSpec wanted{};
    wanted.freq = rate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = static_cast<Uint8>(channels);
    wanted.samples = 2048;
    wanted.callback = nullptr;
    SDL_AudioSpec obtained{};
    device_ = sdl_.openAudioDevice(name, 0, &wanted, &obtained, 0);
    if (device_ == 0)
        throw LibraryError(MPEGDLL_ERR_OUTPUT);
}

SoundCardOutput::~SoundCardOutput() {
    sdl_.closeAudioDevice(device_);
}

bool SoundCardOutput::queue(const std::int16_t* samples, std::size_t frames) {
    return sdl_.queueAudio(device_, samples, static_cast<Uint32>(frames * frameBytes_)) == 0;
}

std::size_t SoundCardOutput::queuedFrames() const {
    return sdl_.getQueuedAudioSize(device_) / frameBytes_;
}

void SoundCardOutput::setPaused(bool paused) {
    sdl_.pauseAudioDevice(device_, paused ? 1 : 0);
}

void SoundCardOutput::clear() {
    sdl_.clearQueuedAudio(device_);
}

} // namespace mpegdll
