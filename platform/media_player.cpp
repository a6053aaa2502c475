#include "platform/media_player.h"

#include "platform/paths.h"
#include "tools/encoders/core/audio_source.h"

#include <QFile>

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <vector>

namespace platform {

namespace {

const char* const noDeviceOpen = "No MCI device open";

// Frames per hand-over to the sound output: about 46 ms at 44.1 kHz, short enough for pause
// and stop to be heard at once, long enough not to run dry on a busy machine.
constexpr Uint16 framesPerBuffer = 2048;

[[noreturn]] void fail(const QString& text) {
    throw MediaError(text.toStdString());
}

// A source open through the reader the encoders use: every kind the Encode page lists, more
// than two channels mixed down as the encoders mix them.
std::unique_ptr<encoders::AudioSource> openSource(const QString& fileName) {
    if (fileName.isEmpty())
        fail(QStringLiteral("No file has been chosen to play"));
    const std::filesystem::path path = toFsPath(fileName);
    std::error_code error;
    if (!std::filesystem::exists(path, error))
        fail(QStringLiteral("The file \"%1\" does not exist").arg(fileName));
    if (std::filesystem::is_directory(path, error))
        fail(QStringLiteral("\"%1\" is a directory, not a sound file").arg(fileName));
    try {
        return std::make_unique<encoders::AudioSource>(path);
    } catch (const std::exception& refusal) {
        fail(QStringLiteral("The file \"%1\" is not a sound file that can be played (%2)")
                 .arg(fileName, QString::fromUtf8(refusal.what())));
    }
}

// One use of SDL's audio subsystem. SDL counts the uses, so other users in the process (the
// decoder library) are not disturbed.
class AudioSubsystem {
public:
    AudioSubsystem() {
        // SDL would otherwise take over SIGINT and SIGTERM, and the program would no longer
        // end on them.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
            fail(QStringLiteral("No sound output is available (%1)")
                     .arg(QString::fromUtf8(SDL_GetError())));
    }
    ~AudioSubsystem() { SDL_QuitSubSystem(SDL_INIT_AUDIO); }
    AudioSubsystem(const AudioSubsystem&) = delete;
    AudioSubsystem& operator=(const AudioSubsystem&) = delete;
};

// An open SDL output device; closing it ends and joins its audio thread.
class AudioOutput {
public:
    explicit AudioOutput(SDL_AudioDeviceID id) : id_(id) {}
    ~AudioOutput() { SDL_CloseAudioDevice(id_); }
    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;

    SDL_AudioDeviceID id() const { return id_; }

private:
    SDL_AudioDeviceID id_;
};

} // namespace

// One open file on the sound output. The audio thread reads the file and the mode in fill();
// the caller's thread changes the mode; both only under mutex_.
class MediaPlayer::Device {
public:
    explicit Device(const QString& fileName) : file_(openSource(fileName)) {
        SDL_AudioSpec wanted{};
        wanted.freq = file_->sampleRate();
        wanted.format = AUDIO_S16SYS;
        wanted.channels = static_cast<Uint8>(file_->channels());
        wanted.samples = framesPerBuffer;
        wanted.callback = &Device::fill;
        wanted.userdata = this;
        // No changes allowed: SDL converts to whatever the hardware takes.
        SDL_AudioSpec obtained{};
        const SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
        if (id == 0)
            fail(QStringLiteral("The sound output could not be opened for \"%1\" (%2)")
                     .arg(fileName, QString::fromUtf8(SDL_GetError())));
        output_ = std::make_unique<AudioOutput>(id);
        // The device runs from now on; fill() gives silence until the file is played.
        SDL_PauseAudioDevice(id, 0);
    }

    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    Mode mode() const {
        std::lock_guard lock(mutex_);
        return mode_;
    }

    void play() {
        std::lock_guard lock(mutex_);
        if (!atEnd_)
            mode_ = Mode::Playing;
    }

    void togglePause() {
        std::lock_guard lock(mutex_);
        if (mode_ == Mode::Playing)
            mode_ = Mode::Paused;
        else if (mode_ == Mode::Paused)
            mode_ = Mode::Playing;
    }

    void stop() {
        std::lock_guard lock(mutex_);
        mode_ = Mode::Stopped;
    }

private:
    static void SDLCALL fill(void* userdata, Uint8* stream, int length) {
        static_cast<Device*>(userdata)->fill(stream, length);
    }

    void fill(Uint8* stream, int length) {
        std::lock_guard lock(mutex_);
        const int frameBytes = file_->channels() * static_cast<int>(sizeof(short));
        const int frames = length / frameBytes;
        std::size_t read = 0;
        if (mode_ == Mode::Playing) {
            samples_.resize(static_cast<std::size_t>(frames * file_->channels()));
            try {
                read = file_->read(samples_);
            } catch (const std::exception&) {
                read = 0; // a damaged stretch ends the playing, as the end of the file does
            }
            // Full scale is 32768 steps each way, as the 16-bit sources have them.
            auto* out = reinterpret_cast<short*>(stream);
            for (std::size_t i = 0; i < read * static_cast<std::size_t>(file_->channels()); ++i)
                out[i] = static_cast<short>(
                    std::clamp(std::lrint(samples_[i] * 32768.0f), -32768L, 32767L));
            if (read < static_cast<std::size_t>(frames)) {
                mode_ = Mode::Stopped;
                atEnd_ = true;
            }
        }
        const std::size_t filled = static_cast<std::size_t>(read) * frameBytes;
        // Silence of signed 16-bit samples is zero.
        std::memset(stream + filled, 0, static_cast<std::size_t>(length) - filled);
    }

    std::unique_ptr<encoders::AudioSource> file_;
    std::vector<float> samples_; // one hand-over's worth, read in the audio thread
    AudioSubsystem audio_;
    mutable std::mutex mutex_;
    Mode mode_ = Mode::Stopped; // guarded by mutex_
    bool atEnd_ = false;        // guarded by mutex_
    // Declared last so that it closes first: its thread must have ended before the file and
    // the state it reads go away.
    std::unique_ptr<AudioOutput> output_;
};

MediaPlayer::MediaPlayer() = default;

MediaPlayer::~MediaPlayer() = default;

void MediaPlayer::setFileName(const QString& fileName) {
    fileName_ = fileName;
}

QString MediaPlayer::fileName() const {
    return fileName_;
}

void MediaPlayer::open() {
    close();
    device_ = std::make_unique<Device>(fileName_);
}

void MediaPlayer::play() {
    lastError_.clear();
    if (!device_) {
        lastError_ = QString::fromLatin1(noDeviceOpen);
        return;
    }
    device_->play();
}

void MediaPlayer::pause() {
    if (!device_)
        throw MediaError(noDeviceOpen);
    device_->togglePause();
}

void MediaPlayer::stop() {
    if (!device_)
        throw MediaError(noDeviceOpen);
    device_->stop();
}

void MediaPlayer::close() {
    device_.reset();
}

bool MediaPlayer::isOpen() const {
    return device_ != nullptr;
}

MediaPlayer::Mode MediaPlayer::mode() const {
    return device_ ? device_->mode() : Mode::NotOpen;
}

QString MediaPlayer::lastError() const {
    return lastError_;
}

int MediaPlayer::tag() const {
    return tag_;
}

void MediaPlayer::setTag(int tag) {
    tag_ = tag;
}

} // namespace platform
