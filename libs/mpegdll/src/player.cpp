#include "libs/mpegdll/src/player.h"

#include "libs/mpegdll/src/library_error.h"
#include "libs/mpegdll/src/parallel_pcm_decode.h"
#include "libs/mpegdll/src/thread_priority.h"
#include "libs/mpegdll/src/wav_file_output.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <utility>

namespace mpegdll {

namespace {

// A decode into a file that ends before this share of the expected audio (in tenths) has lost
// data that the decoder had to skip.
constexpr std::int64_t wellShortTenths = 9;

// How far the decoder runs ahead of the sound card, in seconds divided by this.
constexpr int soundAheadDivisor = 5;
constexpr auto soundPollInterval = std::chrono::milliseconds(10);

} // namespace

// Everything one playback thread owns.
struct Player::Playback {
    std::unique_ptr<WavFileOutput> file;
    std::unique_ptr<SoundCardOutput> sound;
    std::int64_t first = 0;    // where the playback started
    std::int64_t position = 0; // next sample handed to the output
    std::int64_t endFrame = -1;
    int priority = 0;
    unsigned char* endFlag = nullptr;
    bool paused = false;
    bool draining = false; // all audio is queued; waiting for the sound card to play it
};

Player::~Player() {
    try {
        close();
    } catch (...) {
    }
}

void Player::requireOpen() const {
    if (!decoder_)
        throw LibraryError(MPEGDLL_ERR_MODE);
}

void Player::openFile(const std::string& path, std::unique_ptr<Decoder> decoder) {
    close();
    opened(std::move(decoder));
    inputId_ = durable::identityOf(path);
    inputPath_ = path;
}

void Player::openStream(const StreamCallbacks& callbacks) {
    close();
    opened(Decoder::openStream(callbacks));
}

void Player::opened(std::unique_ptr<Decoder> decoder) {
    decoder_ = std::move(decoder);
    publishFrameInfo();
    position_ = 0;
    std::lock_guard lock(mutex_);
    mode_ = MPEGDLL_MODE_OPEN;
}

void Player::close() {
    joinWorker();
    decoder_.reset();
    inputId_.reset();
    inputPath_.clear();
    played_ = false;
    endFlag_ = nullptr;
    position_ = 0;
    bitrate_ = 0;
    layer_ = 0;
    channelMode_ = -1;
    std::lock_guard lock(mutex_);
    mode_ = MPEGDLL_MODE_CLOSED;
    endedOnItsOwn_ = false;
    endFailure_ = 0;
}

void Player::setOutput(int device, const char* fileName) {
    if (device == MPEGDLL_OUTPUT_SOUNDCARD) {
        outputDevice_ = device;
        return;
    }
    if (device != MPEGDLL_OUTPUT_PCMFILE || fileName == nullptr)
        throw LibraryError(MPEGDLL_ERR_MODE);
    outputDevice_ = device;
    outputFile_ = fileName;
    refuseOutputOverInput();
}

// Writing the output over the open input would destroy what is being decoded.
void Player::refuseOutputOverInput() const {
    if (outputDevice_ != MPEGDLL_OUTPUT_PCMFILE || !inputId_)
        return;
    if (durable::identityOf(outputFile_) == inputId_)
        throw LibraryError(MPEGDLL_ERR_OUTPUT);
}

void Player::setPriority(int priority) {
    if (!isPriority(priority))
        throw LibraryError(MPEGDLL_ERR_MODE);
    priority_ = priority;
}

void Player::play(int startMs, int endMs, unsigned char* endFlag) {
    requireOpen();
    {
        std::lock_guard lock(mutex_);
        if (mode_ == MPEGDLL_MODE_PLAYING || mode_ == MPEGDLL_MODE_PAUSED)
            throw LibraryError(MPEGDLL_ERR_MODE);
    }
    if (startMs < 0 || endMs < 0 || (endMs != 0 && endMs <= startMs))
        throw LibraryError(MPEGDLL_ERR_MODE);
    const std::int64_t start = toFrames(startMs);
    if (decoder_->length() >= 0 && start > decoder_->length())
        throw LibraryError(MPEGDLL_ERR_MODE);
    startFrame_ = start;
    endFrame_ = endMs == 0 ? -1 : toFrames(endMs);
    endFlag_ = endFlag;
    played_ = true;
    startPlayback();
}

void Player::restart() {
    requireOpen();
    if (!played_)
        throw LibraryError(MPEGDLL_ERR_MODE);
    startPlayback();
}

void Player::startPlayback() {
    joinWorker();
    {
        std::lock_guard lock(mutex_);
        mode_ = MPEGDLL_MODE_OPEN;
        endedOnItsOwn_ = false;
        endFailure_ = 0;
    }
    refuseOutputOverInput();
    decoder_->prepare(startFrame_);
    position_ = startFrame_;

    auto playback = std::make_unique<Playback>();
    if (outputDevice_ == MPEGDLL_OUTPUT_PCMFILE) {
        playback->file = std::make_unique<WavFileOutput>(outputFile_, decoder_->rate(),
                                                         decoder_->channels(), decoder_->tags());
    } else {
        soundSystem_.start();
        playback->sound = std::make_unique<SoundCardOutput>(soundSystem_.audio(), soundDevice_,
                                                            decoder_->rate(), decoder_->channels());
        playback->sound->setPaused(false);
    }
    playback->first = startFrame_;
    playback->position = startFrame_;
    playback->endFrame = endFrame_;
    playback->priority = priority_;
    playback->endFlag = endFlag_;

    if (endFlag_ != nullptr)
        __atomic_store_n(endFlag_, 0, __ATOMIC_RELEASE);
    {
        std::lock_guard lock(mutex_);
        stopRequested_ = false;
        pauseRequested_ = false;
        workerPaused_ = false;
        seekRequest_.reset();
        seekReached_.reset();
        finished_ = false;
        mode_ = MPEGDLL_MODE_PLAYING;
    }
    try {
        worker_ = std::thread(&Player::run, this, std::move(playback));
    } catch (...) {
        std::lock_guard lock(mutex_);
        mode_ = MPEGDLL_MODE_OPEN;
        finished_ = true;
        throw LibraryError(MPEGDLL_ERR_INTERNAL);
    }
}

void Player::joinWorker() {
    if (!worker_.joinable())
        return;
    {
        std::lock_guard lock(mutex_);
        stopRequested_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

void Player::stop() {
    int mode = 0;
    {
        std::lock_guard lock(mutex_);
        mode = mode_;
    }
    if (mode != MPEGDLL_MODE_PLAYING && mode != MPEGDLL_MODE_PAUSED && mode != MPEGDLL_MODE_ENDED)
        throw LibraryError(MPEGDLL_ERR_MODE);
    joinWorker();
    std::lock_guard lock(mutex_);
    if (mode_ == MPEGDLL_MODE_ENDED && mode == MPEGDLL_MODE_ENDED) {
        mode_ = MPEGDLL_MODE_OPEN;
    } else {
        // A playback that we stopped (even one that reached its end meanwhile) counts as
        // stopped, unless a failure ended it.
        mode_ = MPEGDLL_MODE_OPEN;
        endedOnItsOwn_ = endedOnItsOwn_ && endFailure_ != 0;
    }
    if (endFailure_ != 0)
        throw LibraryError(endFailure_);
}

void Player::pause(bool resume) {
    {
        std::lock_guard lock(mutex_);
        if (mode_ == MPEGDLL_MODE_PLAYING) {
            if (!resume) {
                pauseRequested_ = true;
                mode_ = MPEGDLL_MODE_PAUSED;
            }
        } else if (mode_ == MPEGDLL_MODE_PAUSED) {
            if (resume) {
                pauseRequested_ = false;
                mode_ = MPEGDLL_MODE_PLAYING;
            }
        } else {
            throw LibraryError(MPEGDLL_ERR_MODE);
        }
    }
    wake_.notify_all();
    // Wait until the thread has taken the change, so the position holds once Pause returns.
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return workerPaused_ == pauseRequested_ || finished_; });
}

int Player::seek(int positionMs) {
    requireOpen();
    if (!decoder_->seekable())
        throw LibraryError(MPEGDLL_ERR_NONSEEKABLE);
    std::unique_lock lock(mutex_);
    if (mode_ != MPEGDLL_MODE_PLAYING && mode_ != MPEGDLL_MODE_PAUSED)
        throw LibraryError(MPEGDLL_ERR_MODE);
    const std::int64_t frame = toFrames(positionMs);
    if (positionMs < 0 || (decoder_->length() >= 0 && frame > decoder_->length()) ||
        (endFrame_ >= 0 && frame >= endFrame_))
        throw LibraryError(MPEGDLL_ERR_MODE);
    seekRequest_ = frame;
    seekReached_.reset();
    wake_.notify_all();
    wake_.wait(lock, [this] { return seekReached_.has_value() || finished_; });
    if (!seekReached_) // the playback ended before it could move
        throw LibraryError(MPEGDLL_ERR_MODE);
    if (seekError_ != 0)
        throw LibraryError(seekError_);
    return toMs(*seekReached_);
}

int Player::mode() {
    std::lock_guard lock(mutex_);
    return mode_;
}

int Player::positionMs() const {
    return decoder_ ? toMs(position_) : 0;
}

int Player::lengthMs() const {
    return decoder_ && decoder_->length() >= 0 ? toMs(decoder_->length()) : 0;
}

bool Player::confirmEnd() {
    std::lock_guard lock(mutex_);
    if (mode_ == MPEGDLL_MODE_ENDED)
        mode_ = MPEGDLL_MODE_OPEN;
    return endedOnItsOwn_ && mode_ == MPEGDLL_MODE_OPEN;
}

int Player::frequency() const {
    requireOpen();
    return decoder_->rate();
}

FrameInfo Player::frameInfo() const {
    requireOpen();
    return FrameInfo{bitrate_, layer_, channelMode_};
}

int Player::endFailure() {
    std::lock_guard lock(mutex_);
    return endFailure_;
}

void Player::publishFrameInfo() {
    const FrameInfo info = decoder_->frameInfo();
    bitrate_.store(info.bitrate, std::memory_order_relaxed);
    layer_.store(info.layer, std::memory_order_relaxed);
    channelMode_.store(info.mode, std::memory_order_relaxed);
}

int Player::toMs(std::int64_t frames) const {
    const int rate = decoder_ ? decoder_->rate() : 0;
    if (rate <= 0 || frames <= 0)
        return 0;
    return static_cast<int>(std::min<std::int64_t>(frames * 1000 / rate, INT_MAX));
}

std::int64_t Player::toFrames(int ms) const {
    return static_cast<std::int64_t>(ms) * decoder_->rate() / 1000;
}

void Player::run(std::unique_ptr<Playback> playback) {
    applyThreadPriority(playback->priority);
    Outcome outcome = Outcome::Stopped;
    int failure = 0;
    try {
        outcome = decodeLoop(*playback);
        if (outcome == Outcome::InputFailed)
            failure = MPEGDLL_ERR_INPUT;
        else if (outcome == Outcome::OutputFailed)
            failure = MPEGDLL_ERR_OUTPUT;
    } catch (const LibraryError& error) {
        outcome = Outcome::InputFailed;
        failure = error.code();
    } catch (...) {
        outcome = Outcome::InputFailed;
        failure = MPEGDLL_ERR_INTERNAL;
    }
    if (playback->file) {
        // Output of a decode that failed is dropped; one that ended well short is kept where
        // no file was, as it holds all that could be decoded, but still counts as failed. It
        // never replaces an existing file, which may hold the whole stream.
        const bool keep = failure == 0;
        const bool wellShort =
            outcome == Outcome::Ended && failure == 0 && endedWellShort(*playback);
        if (wellShort)
            failure = MPEGDLL_ERR_INPUT;
        if (!keep)
            playback->file->discard();
        else if (!playback->file->finish(!wellShort) && failure == 0)
            failure = MPEGDLL_ERR_OUTPUT;
    }
    playback->file.reset();
    playback->sound.reset();

    std::lock_guard lock(mutex_);
    finished_ = true;
    endFailure_ = failure;
    if (outcome != Outcome::Stopped) {
        mode_ = MPEGDLL_MODE_ENDED;
        endedOnItsOwn_ = true;
        if (playback->endFlag != nullptr)
            __atomic_store_n(playback->endFlag, 1, __ATOMIC_RELEASE);
    }
    wake_.notify_all();
}

Player::Outcome Player::decodeLoop(Playback& playback) {
    if (const std::optional<Outcome> outcome = decodeInParallel(playback))
        return *outcome;
    const auto ahead = static_cast<std::size_t>(decoder_->rate() / soundAheadDivisor);
    for (;;) {
        if (const std::optional<Outcome> outcome = decodeStep(playback, ahead))
            return *outcome;
    }
}

std::optional<Player::Outcome> Player::decodeStep(Playback& playback, std::size_t ahead) {
    switch (awaitTurn(playback, ahead)) {
    case Turn::Stopped:
        return Outcome::Stopped;
    case Turn::Drained:
        return Outcome::Ended;
    case Turn::Wait:
        return std::nullopt;
    case Turn::Decode:
        break;
    }
    if (playback.endFrame >= 0 && playback.position >= playback.endFrame)
        return endOfAudio(playback);
    const DecodedChunk chunk = decoder_->decode();
    if (chunk.status == DecodedChunk::Status::ReadFailed)
        return Outcome::InputFailed;
    if (chunk.status != DecodedChunk::Status::Audio)
        return endOfAudio(playback); // the end of the stream
    return handOn(playback, chunk);
}

Player::Turn Player::awaitTurn(Playback& playback, std::size_t ahead) {
    std::unique_lock lock(mutex_);
    if (!serveRequests(lock, playback))
        return Turn::Stopped;
    if (!playback.sound)
        return Turn::Decode;
    // The sound card sets the pace: wait while it has enough queued.
    const std::size_t queued = playback.sound->queuedFrames();
    position_ = playback.position - static_cast<std::int64_t>(queued);
    if (playback.draining && queued == 0)
        return Turn::Drained;
    if (playback.draining || queued > ahead) {
        wake_.wait_for(lock, soundPollInterval);
        return Turn::Wait;
    }
    return Turn::Decode;
}

std::optional<Player::Outcome> Player::endOfAudio(Playback& playback) {
    if (!playback.sound)
        return Outcome::Ended;
    playback.draining = true;
    return std::nullopt;
}

std::optional<Player::Outcome> Player::handOn(Playback& playback, const DecodedChunk& chunk) {
    auto frames = static_cast<std::int64_t>(chunk.frames);
    if (playback.endFrame >= 0)
        frames = std::min(frames, playback.endFrame - playback.position);
    if (frames <= 0)
        return std::nullopt;
    const bool written =
        playback.file ? playback.file->write(chunk.samples, static_cast<std::size_t>(frames))
                      : playback.sound->queue(chunk.samples, static_cast<std::size_t>(frames));
    if (!written)
        return Outcome::OutputFailed;
    playback.position += frames;
    if (playback.file)
        position_ = playback.position;
    publishFrameInfo();
    return std::nullopt;
}

bool Player::endedWellShort(const Playback& playback) const {
    const Decoder& decoder = *decoder_;
    if (decoder.stoppedWellShort())
        return true;
    if (!decoder.lengthCounted())
        return false;
    std::int64_t expectedEnd = decoder.length();
    if (playback.endFrame >= 0)
        expectedEnd = std::min(expectedEnd, playback.endFrame);
    const std::int64_t expected = expectedEnd - playback.first;
    return expected > 0 && (playback.position - playback.first) * 10 < expected * wellShortTenths;
}

// The PCM-file playback of a whole file on several threads.
std::optional<Player::Outcome> Player::decodeInParallel(Playback& playback) {
    if (!playback.file || inputPath_.empty() || playback.position != 0)
        return std::nullopt;
    std::optional<ParallelDecodePlan> plan =
        planParallelDecode(inputPath_, decoder_->frameIndex(), decoder_->length(),
                           playback.endFrame, playback.priority);
    if (!plan)
        return std::nullopt;

    ParallelPcmDecode decode(inputPath_, std::move(*plan));
    const auto write = [&](const std::int16_t* samples, std::size_t frames) {
        if (!playback.file->write(samples, frames))
            return false;
        playback.position += static_cast<std::int64_t>(frames);
        position_ = playback.position;
        return true;
    };
    // A seek hands the playback back to the sequential loop, which serves it.
    const auto poll = [&] {
        std::unique_lock lock(mutex_);
        if (seekRequest_)
            return ParallelPcmDecode::Request::Interrupt;
        const std::int64_t before = playback.position;
        if (!serveRequests(lock, playback))
            return ParallelPcmDecode::Request::Stop;
        // A seek served while paused has moved the sequential decoder.
        return playback.position == before ? ParallelPcmDecode::Request::Continue
                                           : ParallelPcmDecode::Request::Interrupt;
    };
    switch (decode.run(write, poll)) {
    case ParallelPcmDecode::Result::Finished:
        return Outcome::Ended;
    case ParallelPcmDecode::Result::Stopped:
        return Outcome::Stopped;
    case ParallelPcmDecode::Result::OutputFailed:
        return Outcome::OutputFailed;
    case ParallelPcmDecode::Result::Interrupted:
        break;
    }
    return std::nullopt;
}

bool Player::serveRequests(std::unique_lock<std::mutex>& lock, Playback& playback) {
    for (;;) {
        if (stopRequested_)
            return false;
        if (seekRequest_) {
            const std::int64_t target = *seekRequest_;
            seekRequest_.reset();
            lock.unlock();
            int error = 0;
            std::int64_t reached = -1;
            try {
                reached = decoder_->seek(target);
            } catch (const LibraryError& failure) {
                error = failure.code();
            }
            if (playback.sound)
                playback.sound->clear();
            lock.lock();
            if (error == 0) {
                playback.position = reached;
                playback.draining = false;
                position_ = reached;
            }
            seekError_ = error;
            seekReached_ = reached;
            wake_.notify_all();
            continue;
        }
        if (pauseRequested_ != playback.paused) {
            playback.paused = pauseRequested_;
            if (playback.sound) {
                playback.sound->setPaused(playback.paused);
                position_ =
                    playback.position - static_cast<std::int64_t>(playback.sound->queuedFrames());
            }
            workerPaused_ = playback.paused;
            wake_.notify_all();
        }
        if (!playback.paused)
            return true;
        wake_.wait(lock);
    }
}

} // namespace mpegdll
