#pragma once

#include "libs/mpegdll/src/sdl_audio.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace mpegdll {

// SDL's audio subsystem, loaded and started on first use and released with this object.
class SoundSystem {
public:
    SoundSystem() = default;
    ~SoundSystem();
    SoundSystem(const SoundSystem&) = delete;
    SoundSystem& operator=(const SoundSystem&) = delete;

    // Throws LibraryError(MPEGDLL_ERR_OUTPUT) when no audio driver can be started.
    void start();
    // SDL's functions, once started.
    const SdlAudio& audio() const { return *sdl_; }

private:
    std::unique_ptr<SdlAudio> sdl_;
    bool started_ = false;
};

// One open SDL output device fed through SDL's queue, 16-bit at the stream's format (SDL
// converts to what the device takes). It opens paused.
class SoundCardOutput {
public:
    // deviceNumber > 0 picks output device deviceNumber - 1 when it exists, else the default.
    // Throws LibraryError(MPEGDLL_ERR_OUTPUT) when no device opens.
    SoundCardOutput(const SdlAudio& sdl, int deviceNumber, int rate, int channels);
    ~SoundCardOutput();
    SoundCardOutput(const SoundCardOutput&) = delete;
    SoundCardOutput& operator=(const SoundCardOutput&) = delete;

    bool queue(const std::int16_t* samples, std::size_t frames);
    // Samples per channel queued and not yet played.
    std::size_t queuedFrames() const;
    void setPaused(bool paused);
    // Drops everything queued (after a seek).
    void clear();

private:
    const SdlAudio& sdl_;
    SDL_AudioDeviceID device_ = 0;
    std::size_t frameBytes_;
};

} // namespace mpegdll
