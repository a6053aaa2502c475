#include "mpegplay/mpeg_player.h"

#include "mpegplay/decoder_library.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <array>

namespace {

// The library's priority numbers, in the order of TPlayPriority.
constexpr std::array<int, 7> priorityNumbers = {-15, -2, -1, 0, 1, 2, 15};

constexpr int deviceSoundCard = MPEGDLL_OUTPUT_SOUNDCARD;
constexpr int devicePcmFile = MPEGDLL_OUTPUT_PCMFILE;

// How often the end flag is looked at while a playback runs. A sound card playback ends in real
// time. A decode into a file ends at any moment and a batch waits for it: the flag is looked
// at again after a quarter of the time the rest should take at the speed so far, so only the
// last moments are watched closely.
constexpr int kEndWatchSoundCardMs = 20;
constexpr int kEndWatchFileFirstMs = 1;
constexpr qint64 kEndWatchFileLongestMs = 50;

int nextFileWatchMs(qint64 elapsedMs, int fromPos, int pos, int length) {
    if (elapsedMs <= 0 || pos <= fromPos)
        return kEndWatchFileFirstMs;
    const qint64 restMs = qint64(length - pos) * elapsedMs / (pos - fromPos);
    return int(std::clamp<qint64>(restMs / 4, 1, kEndWatchFileLongestMs));
}

} // namespace

TMPEGPlayer::TMPEGPlayer(QObject* Owner) : QObject(Owner) {}

TMPEGPlayer::~TMPEGPlayer() {
    delete timer_;
    delete endWatch_;
    releaseLibrary();
}

void TMPEGPlayer::releaseLibrary() noexcept {
    if (!library_)
        return;
    // The library's thread writes ended_ and calls the stream handlers: end it before they go.
    const DecoderEntryPoints& entry = library_->entry();
    if (playing_ && !ended())
        entry.Stop();
    entry.Close();
    entry.deinit();
    library_.reset();
    open_ = playing_ = paused_ = false;
}

bool TMPEGPlayer::ended() {
    return std::atomic_ref<unsigned char>(ended_).load() != 0;
}

void TMPEGPlayer::setEnded(bool value) {
    std::atomic_ref<unsigned char>(ended_).store(value ? 1 : 0);
}

void TMPEGPlayer::requireLibrary() const {
    if (!library_)
        throw TMPEGError("MPEG library not loaded", 0);
}

void TMPEGPlayer::checkResult() {
    lastError_ = library_->entry().LastError();
    if (lastError_ > 0)
        throw decoderError(lastError_);
}

TPlayPriority TMPEGPlayer::PlayerPriority() const {
    for (std::size_t i = 0; i < priorityNumbers.size(); ++i)
        if (priorityNumbers[i] == priority_)
            return static_cast<TPlayPriority>(i);
    return TPlayPriority::Normal;
}

void TMPEGPlayer::setPlayerPriority(TPlayPriority value) {
    const auto index = static_cast<std::size_t>(value);
    if (index < priorityNumbers.size())
        priority_ = priorityNumbers[index];
    if (library_) {
        library_->entry().SetPriority(priority_);
        checkResult();
    }
}

void TMPEGPlayer::setTimerFreq(int value) {
    timerFreq_ = value;
    if (value == 0)
        useTimer_ = false;
}

void TMPEGPlayer::setStreamName(const QString& value) {
    streamName_ = value;
    if (open_)
        Close();
}

TOutputDevice TMPEGPlayer::OutputDevice() const {
    return deviceCode_ == deviceSoundCard ? TOutputDevice::wavemapper : TOutputDevice::pcmfile;
}

void TMPEGPlayer::setOutputDevice(TOutputDevice value) {
    deviceCode_ = value == TOutputDevice::pcmfile ? devicePcmFile : deviceSoundCard;
}

void TMPEGPlayer::LoadDecoder() {
    // A second load starts from scratch rather than leaking the first library.
    delete timer_;
    timer_ = nullptr;
    delete endWatch_;
    endWatch_ = nullptr;
    releaseLibrary();

    auto library = std::make_unique<DecoderLibrary>(decoderLibraryPath(pathToDll_));
    if (!library->entry().init()) {
        lastError_ = library->entry().LastError();
        throw decoderError(lastError_); // the library unloads again here
    }
    library_ = std::move(library);

    timer_ = new QTimer(this);
    connect(timer_, &QTimer::timeout, this, [this] { DoTimer(this); });
    timer_->stop();
    timer_->setInterval(timerFreq_ > 0 ? timerFreq_ : 0);
    if (!useTimer_)
        timer_->setInterval(0);
    // The library only writes a byte when a playback ends; a short look at it on this thread
    // is what lets an owner go on at once, without waiting for a timer tick of its own.
    endWatch_ = new QTimer(this);
    endWatch_->setTimerType(Qt::PreciseTimer);
    connect(endWatch_, &QTimer::timeout, this, &TMPEGPlayer::checkEnd);
    streamLength_ = 0;
}

void TMPEGPlayer::Open() {
    requireLibrary();
    if (open_)
        Close();
    open_ = false;
    const DecoderEntryPoints& entry = library_->entry();
    if (fromStream_) {
        entry.Open(nullptr, MPEGDLL_INPUT_STREAM, &TMPEGPlayer::streamOpen,
                   &TMPEGPlayer::streamClose, &TMPEGPlayer::streamRestart, &TMPEGPlayer::streamRead,
                   &TMPEGPlayer::streamSeek, &TMPEGPlayer::streamSize, this);
    } else {
        if (streamName_.isEmpty())
            throw TMPEGError("Can't play non-specified stream", 254);
        // The whole name: a shortened one would open some other file.
        const QByteArray name = QFile::encodeName(streamName_);
        entry.Open(name.constData(), MPEGDLL_INPUT_FILE, nullptr, nullptr, nullptr, nullptr,
                   nullptr, nullptr, nullptr);
    }
    checkResult();
    open_ = true;
    playedXTimes_ = 1;
    streamLength_ = entry.GetLength();
    checkResult();
    if (autoPlay_)
        Play();
}

void TMPEGPlayer::Play() {
    requireLibrary();
    if (paused_) {
        setPaused(false);
        return;
    }
    if (playing_)
        return;
    if (!open_) {
        Open();
        if (playing_) // AutoPlay has started it already
            return;
    }
    if (playedXTimes_ > 1) {
        Restart();
        return;
    }
    const DecoderEntryPoints& entry = library_->entry();
    entry.SetPriority(priority_);
    checkResult();
    const QByteArray outName = QFile::encodeName(outFilename_);
    entry.SetOutputDevice(deviceCode_, outName.constData());
    checkResult();
    entry.SetSndDevice(waveDeviceNum_);
    checkResult();
    const int result = entry.Play(startPos_, endPos_, &ended_);
    lastError_ = entry.LastError();
    if (lastError_ > 0 || result != 0)
        throw decoderError(lastError_ > 0 ? lastError_ : 0);
    playing_ = true;
    ++playedXTimes_;
    watchEnd();
    startTimer();
}

void TMPEGPlayer::setPaused(bool value) {
    requireLibrary();
    if (playing_ && !ended()) {
        library_->entry().Pause(value ? 0 : 1);
        checkResult();
        paused_ = value;
        return;
    }
    paused_ = false;
    if (value)
        throw TMPEGError("Incorrect mode", 2);
}

void TMPEGPlayer::Stop() {
    if (!playing_ || ended())
        throw TMPEGError("Incorrect mode", 2);
    requireLibrary();
    library_->entry().Stop();
    checkResult();
    playing_ = false;
    paused_ = false;
}

void TMPEGPlayer::Restart() {
    requireLibrary();
    if (!open_)
        throw TMPEGError("Incorrect mode", 2);
    setEnded(false);
    library_->entry().Restart();
    checkResult();
    playing_ = true;
    ++playedXTimes_;
    watchEnd();
    startTimer();
}

void TMPEGPlayer::Close() {
    requireLibrary();
    open_ = false;
    paused_ = false;
    playing_ = false;
    playedXTimes_ = 0;
    library_->entry().Close();
    checkResult();
}

int TMPEGPlayer::PlayerMode() {
    requireLibrary();
    const int mode = library_->entry().GetPlayerMode();
    checkResult();
    return mode;
}

int TMPEGPlayer::Position() {
    requireLibrary();
    const int position = library_->entry().GetCurrentPos();
    checkResult();
    return position;
}

bool TMPEGPlayer::CheckPlayEnd() {
    requireLibrary();
    if (!ended())
        return false;
    const unsigned char confirmed = library_->entry().ResetPlayerMode();
    checkResult();
    playing_ = false;
    return confirmed != 0;
}

void TMPEGPlayer::watchEnd() {
    watchClock_.start();
    watchFrom_ = library_->entry().GetCurrentPos();
    endWatch_->start(deviceCode_ == devicePcmFile ? kEndWatchFileFirstMs : kEndWatchSoundCardMs);
}

void TMPEGPlayer::checkEnd() {
    if (!playing_) {
        endWatch_->stop(); // stopped, closed, or its end already taken
        return;
    }
    if (ended()) {
        endWatch_->stop();
        emit playbackEnded();
    } else if (deviceCode_ == devicePcmFile) {
        const int pos = library_->entry().GetCurrentPos();
        endWatch_->setInterval(
            nextFileWatchMs(watchClock_.elapsed(), watchFrom_, pos, streamLength_));
    }
}

void TMPEGPlayer::startTimer() {
    if (useTimer_ && timer_ != nullptr && timer_->interval() != 0) {
        timer_->start();
        DoTimer(this);
    }
}

void TMPEGPlayer::DoTimer(QObject* /*Sender*/) {
    if (!open_ || !playing_) {
        if (timer_ != nullptr)
            timer_->stop();
        return;
    }
    int position = Position();
    if (position > streamLength_)
        position = 0;
    if (OnPosUpdate)
        OnPosUpdate(position, streamLength_);
    if (ended()) {
        if (timer_ != nullptr)
            timer_->stop();
        playing_ = false;
        if (OnPlayEnd) {
            setEnded(false);
            OnPlayEnd(this);
        }
    }
}

// The stream callbacks hand each call to the owner's handler, or answer as a stream that
// cannot be read. They run inside the decoder library, so nothing may escape them.

void TMPEGPlayer::streamOpen(void* user, unsigned char* nonseekable, void** context) {
    auto* self = static_cast<TMPEGPlayer*>(user);
    if (!self->OnOpenStream) {
        *context = nullptr;
        return;
    }
    try {
        bool nonseekableAnswer = *nonseekable != 0;
        void* contextAnswer = *context;
        self->OnOpenStream(nonseekableAnswer, contextAnswer);
        *nonseekable = nonseekableAnswer ? 1 : 0;
        *context = contextAnswer;
    } catch (...) {
        *context = nullptr;
    }
}

void TMPEGPlayer::streamClose(void* user, void* context) {
    auto* self = static_cast<TMPEGPlayer*>(user);
    if (!self->OnCloseStream)
        return;
    try {
        self->OnCloseStream(context);
    } catch (...) {
    }
}

void TMPEGPlayer::streamRestart(void* user, void* context, unsigned char* res) {
    auto* self = static_cast<TMPEGPlayer*>(user);
    bool answer = false;
    if (self->OnRestartStream) {
        try {
            answer = *res != 0;
            self->OnRestartStream(context, answer);
        } catch (...) {
            answer = false;
        }
    }
    *res = answer ? 1 : 0;
}

void TMPEGPlayer::streamRead(void* user, void* context, void* buffer, int bytesToRead,
                             int* bytesRead, unsigned char* res) {
    auto* self = static_cast<TMPEGPlayer*>(user);
    bool answer = false;
    if (self->OnReadStream) {
        try {
            int count = *bytesRead;
            answer = *res != 0;
            self->OnReadStream(context, buffer, bytesToRead, count, answer);
            *bytesRead = count;
        } catch (...) {
            answer = false;
        }
    }
    *res = answer ? 1 : 0;
}

void TMPEGPlayer::streamSeek(void* user, void* context, int numbytes, int moveMethod, int* res) {
    auto* self = static_cast<TMPEGPlayer*>(user);
    int answer = -1;
    if (self->OnSeekStream) {
        try {
            answer = *res;
            self->OnSeekStream(context, numbytes, moveMethod, answer);
        } catch (...) {
            answer = -1;
        }
    }
    *res = answer;
}

void TMPEGPlayer::streamSize(void* user, void* context, int* res) {
    auto* self = static_cast<TMPEGPlayer*>(user);
    int answer = -1;
    if (self->OnGetStreamSize) {
        try {
            answer = *res;
            self->OnGetStreamSize(context, answer);
        } catch (...) {
            answer = -1;
        }
    }
    *res = answer;
}
