#pragma once

#include "tools/encoders/sources/source_bytes.h"
#include "tools/encoders/sources/source_decoder.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVIOContext;
struct AVPacket;
struct SwrContext;

namespace encoders {

// The default audio stream of any file FFmpeg's libraries read, read through the guarded view
// (our own descriptor, so that a file put in the source's place is not read). Every sample
// form is converted to interleaved floats; the channels are left as they are. A file whose
// decoding makes no progress for `stallLimit` ends with an error.
class FfmpegDecoder final : public SourceDecoder {
public:
    // Throws EncoderError, naming the file by `name`, when the view holds no audio stream that
    // FFmpeg decodes.
    FfmpegDecoder(const SourceBytes& view, std::string name,
                  std::chrono::steady_clock::duration stallLimit);
    ~FfmpegDecoder() override;
    FfmpegDecoder(const FfmpegDecoder&) = delete;
    FfmpegDecoder& operator=(const FfmpegDecoder&) = delete;

    int channels() const override { return channels_; }
    int sampleRate() const override { return sampleRate_; }
    std::optional<std::int64_t> frames() const override { return frames_; }
    std::optional<std::int64_t> roughFrames() const override { return declared_; }
    std::uint64_t channelMask() const override { return channelMask_; }
    std::string text(int which) const override;
    bool unbounded() const override { return true; }
    std::size_t read(std::span<float> interleaved) override;

private:
    struct Deleter {
        void operator()(AVIOContext* io) const;
        void operator()(AVFormatContext* format) const;
        void operator()(AVCodecContext* codec) const;
        void operator()(SwrContext* convert) const;
        void operator()(AVPacket* packet) const;
        void operator()(AVFrame* frame) const;
    };
    template <typename T> using Owned = std::unique_ptr<T, Deleter>;

    static int readPacket(void* self, std::uint8_t* buffer, int size);
    static std::int64_t seek(void* self, std::int64_t offset, int whence);
    static int interrupted(void* self);
    void open();
    void openDecoder();
    void declareLength();
    // Decodes the next frame into pending_; false at the end of the stream.
    bool decodeMore();
    [[noreturn]] void fail(const std::string& what, int error) const;

    const SourceBytes& view_;
    std::string name_;
    std::chrono::steady_clock::duration stallLimit_;
    std::chrono::steady_clock::time_point deadline_;
    std::uint64_t position_ = 0; // of the I/O context in the view

    // Declared in the order they are made, so that each goes before what it reads from.
    Owned<AVIOContext> io_;
    Owned<AVFormatContext> format_;
    Owned<AVCodecContext> codec_;
    Owned<SwrContext> convert_;
    Owned<AVPacket> packet_;
    Owned<AVFrame> frame_;

    int stream_ = -1;
    int channels_ = 0;
    int sampleRate_ = 0;
    std::uint64_t channelMask_ = 0;
    std::optional<std::int64_t> frames_;   // exact, from a count in samples
    std::optional<std::int64_t> declared_; // from the container, perhaps rounded
    std::vector<float> pending_;
    std::size_t pendingAt_ = 0; // samples of pending_ already given out
    std::int64_t delivered_ = 0;
    bool draining_ = false; // the decoder has been told the stream is over
    bool ended_ = false;    // and has given out everything
};

} // namespace encoders
