#include "libs/mpegdll/src/decoder.h"

#include "libs/mpegdll/src/library_error.h"

#include <climits>
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
    if (mpg123_open_fd(decoder->handle_.get(), decoder->file_->descriptor()) != MPG123_OK)
        failInput(decoder->handle_.get());
    decoder->inputSize_ = decoder->file_->size();
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
    rate_ = static_cast<int>(rate);
    channels_ = channels;

    // LAME's Info frame gives the exact length and the gapless trim. Without one, a full scan
    // gives the exact length of anything seekable. (A scan of a damaged file that has an Info
    // frame would make libmpg123 drop the trim, and decode differently from mpg123 itself.)
    long encoderDelay = -1;
    mpg123_getstate(handle, MPG123_ENC_DELAY, &encoderDelay, nullptr);
    if (!nonseekable_ && encoderDelay < 0 && mpg123_scan(handle) != MPG123_OK)
        failInput(handle);
    const off_t length = mpg123_length(handle);
    length_ = length < 0 ? -1 : static_cast<std::int64_t>(length);
    lengthCounted_ = length >= 0 && (!nonseekable_ || encoderDelay >= 0);
}

bool Decoder::stoppedWellShort() const {
    return stoppedAt_ >= 0 && inputSize_ > 0 && inputSize_ - stoppedAt_ > inputSize_ / 10;
}

void Decoder::reopenStream() {
    mpg123_handle* handle = handle_.get();
    mpg123_close(handle);
    readFailed_ = false;
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
    chunk.samples = reinterpret_cast<const std::int16_t*>(buffer_.data());
    chunk.frames = bytes / (sizeof(std::int16_t) * static_cast<std::size_t>(channels_));
    // Audio that came with an end or an error is handed on first; the next call repeats it.
    if (chunk.frames > 0) {
        chunk.status = DecodedChunk::Status::Audio;
        return chunk;
    }
    switch (result) {
    case MPG123_OK:
        chunk.status = DecodedChunk::Status::Audio;
        return chunk;
    case MPG123_NEW_FORMAT: {
        long rate = 0;
        int channels = 0;
        int encoding = 0;
        mpg123_getformat(handle_.get(), &rate, &channels, &encoding);
        // The first frame after opening announces the format we already have.
        chunk.status = rate == rate_ && channels == channels_ ? DecodedChunk::Status::Audio
                                                              : DecodedChunk::Status::FormatChanged;
        if (chunk.status == DecodedChunk::Status::FormatChanged)
            stoppedAt_ = mpg123_tell_stream(handle_.get());
        return chunk;
    }
    case MPG123_DONE:
        chunk.status = readFailed_ ? DecodedChunk::Status::ReadFailed : DecodedChunk::Status::End;
        return chunk;
    default:
        if (mpg123_errcode(handle_.get()) == MPG123_OUT_OF_MEM)
            throw LibraryError(MPEGDLL_ERR_INTERNAL);
        // Data that libmpg123 cannot resynchronise on ends the decodable part.
        stoppedAt_ = mpg123_tell_stream(handle_.get());
        chunk.status = readFailed_ ? DecodedChunk::Status::ReadFailed : DecodedChunk::Status::End;
        return chunk;
    }
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
    return reached;
}

mpg123_ssize_t Decoder::readCallback(void* handle, void* buffer, std::size_t bytes) {
    auto* self = static_cast<Decoder*>(handle);
    const int wanted =
        bytes > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(bytes);
    int got = 0;
    unsigned char ok = 0;
    self->callbacks_.read(self->callbacks_.user, self->context_, buffer, wanted, &got, &ok);
    if (ok == 0 || got < 0 || got > wanted) {
        self->readFailed_ = true;
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
