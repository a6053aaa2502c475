#include "libs/mpegdll/src/decoder.h"

#include "libs/mpegdll/src/library_error.h"
#include "libs/mpegdll/src/switch_tail.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <system_error>

namespace mpegdll {

namespace {

// libmpg123 reports running out of memory like any other failure; we tell it apart because it
// is the library's own trouble, not the input's.
[[noreturn]] void failInput(mpg123_handle* handle) {
    if (handle != nullptr && mpg123_errcode(handle) == MPG123_OUT_OF_MEM)
        throw LibraryError(MPEGDLL_ERR_INTERNAL);
    throw LibraryError(MPEGDLL_ERR_INPUT);
}

// Frame offsets kept for the frames before a change of channel count, and how many of those
// frames make the decoder's state there.
constexpr std::size_t recentFrameCount = 16;
constexpr std::size_t switchTailFrames = 8;

} // namespace

void Decoder::HandleDeleter::operator()(mpg123_handle* handle) const {
    mpg123_close(handle);
    mpg123_delete(handle);
}

Decoder::Decoder() {
    int error = MPG123_OK;
    handle_.reset(mpg123_new(nullptr, &error));
    if (!handle_)
        throw LibraryError(MPEGDLL_ERR_INTERNAL);
    mpg123_param(handle_.get(), MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    // Tags are carried into the output as text; pictures are not wanted.
    mpg123_param(handle_.get(), MPG123_REMOVE_FLAGS, MPG123_PICTURE, 0.0);

    // Always 16-bit output, at whatever rate and channel count the stream has.
    mpg123_format_none(handle_.get());
    const long* rates = nullptr;
    std::size_t count = 0;
    mpg123_rates(&rates, &count);
    for (std::size_t i = 0; i < count; ++i)
        mpg123_format(handle_.get(), rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
}

Decoder::~Decoder() {
    handle_.reset();
    if (streamOpened_)
        callbacks_.close(callbacks_.user, context_);
}

std::unique_ptr<Decoder> Decoder::openFile(const std::string& path) {
    std::unique_ptr<Decoder> decoder(new Decoder());
    try {
        decoder->file_ = std::make_unique<InputFile>(path);
    } catch (const std::system_error&) {
        throw LibraryError(MPEGDLL_ERR_INPUT);
    }
    decoder->openFileHandle();
    decoder->inputSize_ = decoder->file_->size();
    decoder->infoTag_ = findInfoTag(std::bind_front(&Decoder::readHead, decoder.get()));
    decoder->frameIndex_ = indexFrames(*decoder->file_);
    decoder->readFormat();
    return decoder;
}

std::unique_ptr<Decoder> Decoder::openStream(const StreamCallbacks& callbacks) {
    std::unique_ptr<Decoder> decoder(new Decoder());
    decoder->streamMode_ = true;
    decoder->callbacks_ = callbacks;
    decoder->openCallbackStream();
    return decoder;
}

void Decoder::openCallbackStream() {
    unsigned char nonseekable = 0;
    callbacks_.open(callbacks_.user, &nonseekable, &context_);
    streamOpened_ = true;
    nonseekable_ = nonseekable != 0;

    mpg123_handle* handle = handle_.get();
    if (nonseekable_)
        mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_SEEKBUFFER, 0.0);
    if (mpg123_replace_reader_handle(handle, &Decoder::readCallback, &Decoder::seekCallback,
                                     nullptr) != MPG123_OK)
        failInput(handle);
    // The Info frame is read before libmpg123 reads anything: then a seekable stream is put
    // back, and a non-seekable one hands libmpg123 what was read ahead first.
    infoTag_ = findInfoTag(std::bind_front(&Decoder::readHead, this));
    readFailed_ = false; // a failed read here fails again where it counts
    if (!nonseekable_ && seekCallback(this, 0, SEEK_SET) != 0)
        failInput(handle);
    if (mpg123_open_handle(handle, this) != MPG123_OK)
        failInput(handle);
    // A non-seekable stream can still tell its size, which gives an estimate of its length.
    int size = -1;
    callbacks_.size(callbacks_.user, context_, &size);
    inputSize_ = size;
    if (nonseekable_ && size >= 0)
        mpg123_set_filesize(handle, size);
    readFormat();
}

void Decoder::readFormat() {
    mpg123_handle* handle = handle_.get();
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(handle, &rate, &channels, &encoding) != MPG123_OK)
        failInput(handle);
    if (rate_ != 0 && (rate != rate_ || channels != channels_))
        throw LibraryError(MPEGDLL_ERR_INPUT);
    rate_ = streamRate_ = static_cast<int>(rate);
    channels_ = streamChannels_ = channels;
    converter_ = std::make_unique<FormatConverter>(rate_, channels_);

    // LAME's Info frame gives the exact length and the gapless trim, when its count is true to
    // what the stream holds. A survey of the frames of anything seekable tells both that and
    // the length of a stream whose format changes. (libmpg123's own scan would drop the trim of
    // a damaged file with an Info frame, and decode differently from mpg123 itself.)
    long encoderDelay = -1;
    mpg123_getstate(handle, MPG123_ENC_DELAY, &encoderDelay, nullptr);
    const off_t libraryLength = mpg123_length(handle);
    const off_t libraryFrames = mpg123_framelength(handle);
    if (nonseekable_) {
        // Nothing counts the frames ahead: a count that the stream cannot hold gives no length
        // (libmpg123 estimates one where the Info frame has no count), and the count judges the
        // end only of a stream that has lost bytes its Info frame claims.
        const bool trusted = encoderDelay >= 0 && infoCountTrusted(libraryFrames, -1);
        const bool estimated = encoderDelay < 0 || (infoTag_ && infoTag_->frames <= 0);
        length_ = libraryLength >= 0 && (trusted || estimated) ? libraryLength : -1;
        lengthCounted_ = trusted && (!infoTag_ || infoLostEnd());
        return;
    }
    // A plain stream's frames are counted by its index (one format throughout, every frame whole)
    // at a fifth of the cost of libmpg123's walk, which the parallel decode then needs no more.
    const FrameIndex* index =
        frameIndex_ && frameIndex_->rate == rate_ && frameIndex_->channels == channels_
            ? &*frameIndex_
            : nullptr;
    const Survey counted =
        index ? Survey{index->frames, index->frames * index->samplesPerFrame, false} : survey();
    lengthCounted_ = true;
    if (encoderDelay >= 0 && !counted.formatChanges &&
        infoCountTrusted(libraryFrames, counted.frames)) {
        length_ = libraryLength;
        return;
    }
    // libmpg123 still trims the encoder's delay at the start.
    const std::int64_t trimmed = encoderDelay >= 0 ? encoderDelay + gaplessDecoderDelay : 0;
    length_ = std::max<std::int64_t>(counted.samples - trimmed, 0);
}

Decoder::Survey Decoder::survey() {
    mpg123_handle* handle = handle_.get();
    Survey result;
    std::int64_t native = 0;
    double converted = 0.0; // samples of frames at other rates, at rate_
    for (int status = MPG123_OK;; status = mpg123_framebyframe_next(handle)) {
        if (status == MPG123_NEW_FORMAT) {
            long rate = 0;
            int channels = 0;
            int encoding = 0;
            mpg123_getformat(handle, &rate, &channels, &encoding);
            result.formatChanges |= rate != rate_ || channels != channels_;
        } else if (status != MPG123_OK) {
            break; // the end, or data that libmpg123 cannot read on from
        }
        mpg123_frameinfo2 info{};
        if (mpg123_info2(handle, &info) != MPG123_OK || info.rate <= 0)
            break;
        const int samples = mpg123_spf(handle);
        if (info.rate == rate_)
            native += samples;
        else
            converted += static_cast<double>(samples) * rate_ / static_cast<double>(info.rate);
        ++result.frames;
    }
    result.samples = native + std::llround(converted);
    rewind();
    return result;
}

bool Decoder::infoCountTrusted(std::int64_t libraryFrames, std::int64_t frames) const {
    // Where the Info frame cannot be read here (free format), libmpg123's reading of it counts.
    const std::int64_t claimed = infoTag_ ? infoTag_->frames : libraryFrames;
    if (claimed <= 0)
        return false;
    if (infoTag_) {
        // A stream that has lost its end: the count tells what it held, and a decode that ends
        // well short of it has lost audio.
        if (infoLostEnd())
            return true;
        const std::int64_t held = inputSize_ >= 0 ? inputSize_ - infoTag_->offset : -1;
        if (held >= 0 && claimed * infoTag_->smallestFrame > held)
            return false;
    }
    return frames < 0 || frames == claimed;
}

bool Decoder::infoLostEnd() const {
    return infoTag_ && infoTag_->bytes > 0 && inputSize_ >= 0 &&
           inputSize_ - infoTag_->offset < infoTag_->bytes;
}

void Decoder::rewind() {
    mpg123_handle* handle = handle_.get();
    if (mpg123_seek(handle, 0, SEEK_SET) == 0)
        return;
    // After data that it could not read on from, libmpg123 may not find the start again.
    mpg123_close(handle);
    readFailed_ = false;
    if (file_) {
        openFileHandle();
    } else if (seekCallback(this, 0, SEEK_SET) != 0 ||
               mpg123_open_handle(handle, this) != MPG123_OK) {
        failInput(handle);
    }
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(handle, &rate, &channels, &encoding) != MPG123_OK)
        failInput(handle);
}

std::int64_t Decoder::readHead(void* buffer, std::size_t bytes, std::int64_t offset) {
    if (file_)
        return file_->readAt(buffer, bytes, offset);
    if (nonseekable_) {
        // Read ahead, within a bound, and kept for libmpg123.
        constexpr std::size_t maxHead = 256 * 1024;
        const std::size_t want = std::min(static_cast<std::size_t>(offset) + bytes, maxHead);
        if (want > head_.size()) {
            const std::size_t had = head_.size();
            head_.resize(want);
            const std::int64_t got = readFully(
                head_.data() + had, want - had,
                [this](char* to, std::size_t count, std::size_t) { return readStream(to, count); });
            head_.resize(had + static_cast<std::size_t>(std::max<std::int64_t>(got, 0)));
        }
        if (static_cast<std::size_t>(offset) >= head_.size())
            return 0;
        const std::size_t count = std::min(bytes, head_.size() - static_cast<std::size_t>(offset));
        std::memcpy(buffer, head_.data() + offset, count);
        return static_cast<std::int64_t>(count);
    }
    if (seekCallback(this, static_cast<off_t>(offset), SEEK_SET) != offset)
        return -1;
    return readFully(buffer, bytes, [this](char* to, std::size_t count, std::size_t) {
        return readStream(to, count);
    });
}

bool Decoder::stoppedWellShort() const {
    return stoppedAt_ >= 0 && inputSize_ > 0 && inputSize_ - stoppedAt_ > inputSize_ / 10;
}

void Decoder::reopenStream() {
    mpg123_handle* handle = handle_.get();
    mpg123_close(handle);
    readFailed_ = false;
    head_.clear(); // the stream's owner has brought it back to its start
    headUsed_ = 0;
    if (mpg123_open_handle(handle, this) != MPG123_OK)
        failInput(handle);
    readFormat();
}

FrameInfo Decoder::frameInfo() const {
    mpg123_frameinfo2 info{};
    FrameInfo result;
    if (mpg123_info2(handle_.get(), &info) == MPG123_OK) {
        result.bitrate = info.bitrate;
        result.layer = info.layer;
        result.mode = info.mode;
    }
    return result;
}

DecodedChunk Decoder::decode() {
    used_ = true;
    std::size_t bytes = 0;
    const int result = mpg123_read(handle_.get(), buffer_.data(), buffer_.size(), &bytes);
    DecodedChunk chunk;
    // The audio that comes with a new format is still in the one before.
    const std::size_t frames =
        bytes / (sizeof(std::int16_t) * static_cast<std::size_t>(streamChannels_));
    const bool convert = converter_->needed(streamRate_, streamChannels_);
    std::int16_t* output = reinterpret_cast<std::int16_t*>(buffer_.data());
    if (convert) {
        converted_.clear();
        converter_->convert(output, frames, streamRate_, streamChannels_, converted_);
        if (result != MPG123_OK && result != MPG123_NEW_FORMAT)
            converter_->finish(converted_);
        output = converted_.data();
        chunk.frames = converted_.size() / static_cast<std::size_t>(channels_);
    } else {
        chunk.frames = frames;
    }
    addSwitchTail(output, chunk.frames);
    chunk.samples = output;
    if (file_) {
        recentFrames_.push_back(mpg123_framepos(handle_.get()));
        if (recentFrames_.size() > recentFrameCount)
            recentFrames_.pop_front();
    }
    if (result == MPG123_NEW_FORMAT) {
        long rate = 0;
        int channels = 0;
        int encoding = 0;
        mpg123_getformat(handle_.get(), &rate, &channels, &encoding);
        // Only a change at the output's rate: another rate goes through the resampler.
        if (file_ && rate == rate_ && streamRate_ == rate_ && channels != streamChannels_)
            prepareSwitchTail(mpg123_framepos(handle_.get()), streamChannels_, channels);
        streamRate_ = static_cast<int>(rate);
        streamChannels_ = channels;
    }
    // Audio that came with an end or an error is handed on first; the next call repeats it.
    if (chunk.frames > 0 || result == MPG123_OK || result == MPG123_NEW_FORMAT) {
        chunk.status = DecodedChunk::Status::Audio;
        return chunk;
    }
    if (result != MPG123_DONE) {
        if (mpg123_errcode(handle_.get()) == MPG123_OUT_OF_MEM)
            throw LibraryError(MPEGDLL_ERR_INTERNAL);
        // Data that libmpg123 cannot resynchronise on ends the decodable part.
        stoppedAt_ = mpg123_tell_stream(handle_.get());
    }
    chunk.status = readFailed_ ? DecodedChunk::Status::ReadFailed : DecodedChunk::Status::End;
    return chunk;
}

void Decoder::prepareSwitchTail(std::int64_t at, int oldChannels, int newChannels) {
    switchTail_.clear();
    switchTailUsed_ = 0;
    const std::int64_t frame = mpg123_tellframe(handle_.get());
    const std::int64_t partFrames = partStart_ >= 0 ? frame - partStart_ : -1;
    std::vector<std::vector<unsigned char>> partBefore = std::move(partBefore_);
    // What this change cannot tell the next one.
    partBefore_.clear();
    partStart_ = frame;
    const auto from = std::ranges::find_if(
        recentFrames_, [at](std::int64_t offset) { return offset >= 0 && offset < at; });
    if (from == recentFrames_.end() || at - *from > (1 << 20))
        return;
    std::vector<unsigned char> bytes(static_cast<std::size_t>(at - *from));
    if (file_->readAt(bytes.data(), bytes.size(), *from) != static_cast<std::int64_t>(bytes.size()))
        return;
    // The frames from there must lead straight to the change; those of the old layout count.
    std::vector<std::size_t> starts;
    std::size_t position = 0;
    while (position + 4 <= bytes.size()) {
        const std::optional<FrameHeader> header = parseFrameHeader(bytes.data() + position);
        if (!header)
            return;
        if (header->channels != oldChannels)
            starts.clear();
        else
            starts.push_back(position);
        position += static_cast<std::size_t>(header->length);
    }
    if (position != bytes.size() || starts.size() < 2)
        return;
    // libmpg123 leaves a channel that mono frames do not use as the part before them left it,
    // and its synthesis runs at a phase that repeats every 16 frames: the frames decoded for the
    // tail keep both, the last ones of the part before and of this part, their counts matching
    // the stream's modulo 16.
    std::size_t taken = starts.size();
    if (partFrames >= 8)
        taken = std::min(starts.size(), static_cast<std::size_t>(8 + (partFrames - 8) % 16));
    std::vector<unsigned char> history;
    const std::size_t earlier = partBefore.size();
    if (earlier > 0) {
        const auto wanted =
            static_cast<std::size_t>(((frame - static_cast<std::int64_t>(taken)) % 16 + 16) % 16);
        const std::size_t count =
            earlier >= wanted ? wanted + (earlier - wanted) / 16 * 16 : earlier;
        for (std::size_t i = earlier - count; i < earlier; ++i)
            history.insert(history.end(), partBefore[i].begin(), partBefore[i].end());
    }
    // This part's frames are the part before for the next change.
    for (std::size_t i = starts.size() - std::min<std::size_t>(starts.size(), 31);
         i < starts.size(); ++i) {
        const std::size_t end = i + 1 < starts.size() ? starts[i + 1] : bytes.size();
        partBefore_.emplace_back(bytes.begin() + static_cast<long>(starts[i]),
                                 bytes.begin() + static_cast<long>(end));
    }
    const std::size_t first = starts[starts.size() - taken];
    history.insert(history.end(), bytes.begin() + static_cast<long>(first), bytes.end());
    const SwitchTail tail = switchTail(history, newChannels);
    if (tail.continued.empty())
        return;
    // Both in the output's layout; the difference is what the new frames lack.
    FormatConverter layout(rate_, channels_);
    std::vector<std::int16_t> kept;
    layout.convert(tail.continued.data(),
                   tail.continued.size() / static_cast<std::size_t>(oldChannels), rate_,
                   oldChannels, switchTail_);
    layout.convert(tail.kept.data(), tail.kept.size() / static_cast<std::size_t>(newChannels),
                   rate_, newChannels, kept);
    if (kept.size() != switchTail_.size()) {
        switchTail_.clear();
        return;
    }
    for (std::size_t i = 0; i < kept.size(); ++i)
        switchTail_[i] =
            static_cast<std::int16_t>(std::clamp(switchTail_[i] - kept[i], INT16_MIN, INT16_MAX));
}

void Decoder::addSwitchTail(std::int16_t* samples, std::size_t frames) {
    const std::size_t count = std::min(frames * static_cast<std::size_t>(channels_),
                                       switchTail_.size() - switchTailUsed_);
    for (std::size_t i = 0; i < count; ++i)
        samples[i] = static_cast<std::int16_t>(
            std::clamp(samples[i] + switchTail_[switchTailUsed_ + i], INT16_MIN, INT16_MAX));
    switchTailUsed_ += count;
}

void Decoder::prepare(std::int64_t frame) {
    if (!used_ && frame == 0)
        return;
    if (streamMode_ && used_) {
        unsigned char rewound = 0;
        callbacks_.restart(callbacks_.user, context_, &rewound);
        if (rewound != 0) {
            reopenStream();
            used_ = false;
            stoppedAt_ = -1;
        } else if (nonseekable_) {
            throw LibraryError(MPEGDLL_ERR_NONSEEKABLE);
        }
    }
    if (!used_ && frame == 0)
        return;
    seek(frame);
}

std::int64_t Decoder::seek(std::int64_t frame) {
    used_ = true;
    stoppedAt_ = -1;
    const off_t reached = mpg123_seek(handle_.get(), static_cast<off_t>(frame), SEEK_SET);
    if (reached < 0) {
        if (nonseekable_)
            throw LibraryError(MPEGDLL_ERR_NONSEEKABLE);
        failInput(handle_.get());
    }
    // Audio from here on comes in the format of the frames here.
    converter_->reset();
    recentFrames_.clear();
    switchTail_.clear();
    partBefore_.clear();
    partStart_ = -1;
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(handle_.get(), &rate, &channels, &encoding) == MPG123_OK) {
        streamRate_ = static_cast<int>(rate);
        streamChannels_ = channels;
    }
    return reached;
}

void Decoder::openFileHandle() {
    mpg123_handle* handle = handle_.get();
    fileReader_ = std::make_unique<BufferedReader>(*file_);
    if (mpg123_replace_reader_handle(handle, &Decoder::fileReadCallback, &Decoder::fileSeekCallback,
                                     nullptr) != MPG123_OK ||
        mpg123_open_handle(handle, this) != MPG123_OK)
        failInput(handle);
}

mpg123_ssize_t Decoder::fileReadCallback(void* handle, void* buffer, std::size_t bytes) {
    return static_cast<mpg123_ssize_t>(
        static_cast<Decoder*>(handle)->fileReader_->read(buffer, bytes));
}

off_t Decoder::fileSeekCallback(void* handle, off_t offset, int whence) {
    return static_cast<off_t>(static_cast<Decoder*>(handle)->fileReader_->seek(offset, whence));
}

mpg123_ssize_t Decoder::readCallback(void* handle, void* buffer, std::size_t bytes) {
    auto* self = static_cast<Decoder*>(handle);
    if (self->headUsed_ < self->head_.size()) {
        const std::size_t count = std::min(bytes, self->head_.size() - self->headUsed_);
        std::memcpy(buffer, self->head_.data() + self->headUsed_, count);
        self->headUsed_ += count;
        return static_cast<mpg123_ssize_t>(count);
    }
    return self->readStream(buffer, bytes);
}

mpg123_ssize_t Decoder::readStream(void* buffer, std::size_t bytes) {
    const int wanted =
        bytes > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(bytes);
    int got = 0;
    unsigned char ok = 0;
    callbacks_.read(callbacks_.user, context_, buffer, wanted, &got, &ok);
    if (ok == 0 || got < 0 || got > wanted) {
        readFailed_ = true;
        return -1;
    }
    return got;
}

off_t Decoder::seekCallback(void* handle, off_t offset, int whence) {
    auto* self = static_cast<Decoder*>(handle);
    if (self->nonseekable_ || offset < INT_MIN || offset > INT_MAX)
        return -1;
    int position = -1;
    self->callbacks_.seek(self->callbacks_.user, self->context_, static_cast<int>(offset), whence,
                          &position);
    return position < 0 ? -1 : position;
}

} // namespace mpegdll
