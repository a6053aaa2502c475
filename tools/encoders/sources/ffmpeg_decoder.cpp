#include "tools/encoders/sources/ffmpeg_decoder.h"

#include "tools/encoders/core/encoder_error.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <sndfile.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace encoders {

namespace {

// The I/O context's buffer: a few reads of the disk's usual size.
constexpr int kIoBufferSize = 64 * 1024;

std::string errorText(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return text;
}

std::string seconds(std::int64_t frames, int rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", static_cast<double>(frames) / rate);
    return text;
}

} // namespace

void FfmpegDecoder::Deleter::operator()(AVIOContext* io) const {
    av_freep(&io->buffer);
    avio_context_free(&io);
}
void FfmpegDecoder::Deleter::operator()(AVFormatContext* format) const {
    avformat_close_input(&format);
}
void FfmpegDecoder::Deleter::operator()(AVCodecContext* codec) const {
    avcodec_free_context(&codec);
}
void FfmpegDecoder::Deleter::operator()(SwrContext* convert) const {
    swr_free(&convert);
}
void FfmpegDecoder::Deleter::operator()(AVPacket* packet) const {
    av_packet_free(&packet);
}
void FfmpegDecoder::Deleter::operator()(AVFrame* frame) const {
    av_frame_free(&frame);
}

FfmpegDecoder::FfmpegDecoder(const SourceBytes& view, std::string name,
                             std::chrono::steady_clock::duration stallLimit)
    : view_(view), name_(std::move(name)), stallLimit_(stallLimit),
      deadline_(std::chrono::steady_clock::now() + stallLimit) {
    // The libraries' own messages would go to the standard error; our refusals say enough.
    av_log_set_level(AV_LOG_QUIET);
    open();
    openDecoder();
    declareLength();
    packet_.reset(av_packet_alloc());
    frame_.reset(av_frame_alloc());
    if (!packet_ || !frame_) {
        throw EncoderError("out of memory reading " + name_);
    }
}

FfmpegDecoder::~FfmpegDecoder() = default;

void FfmpegDecoder::fail(const std::string& what, int error) const {
    if (error == AVERROR_EXIT && std::chrono::steady_clock::now() >= deadline_) {
        throw EncoderError(
            "decoding " + name_ + " made no progress for " +
            std::to_string(std::chrono::duration_cast<std::chrono::seconds>(stallLimit_).count()) +
            " s and was stopped");
    }
    throw EncoderError(what + ": " + errorText(error));
}

void FfmpegDecoder::open() {
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferSize));
    if (buffer == nullptr) {
        throw EncoderError("out of memory reading " + name_);
    }
    io_.reset(avio_alloc_context(buffer, kIoBufferSize, 0, this, &readPacket, nullptr, &seek));
    if (!io_) {
        av_free(buffer);
        throw EncoderError("out of memory reading " + name_);
    }
    AVFormatContext* format = avformat_alloc_context();
    if (format == nullptr) {
        throw EncoderError("out of memory reading " + name_);
    }
    format->pb = io_.get();
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    format->interrupt_callback = {&interrupted, this};
    // The kind is told by the content alone (the I/O context has no name to go by).
    if (const int error = avformat_open_input(&format, nullptr, nullptr, nullptr); error < 0) {
        fail("cannot read " + name_ + " as audio", error); // the context is freed already
    }
    format_.reset(format);
    if (const int error = avformat_find_stream_info(format_.get(), nullptr); error < 0) {
        fail("cannot read " + name_ + " as audio", error);
    }
}

void FfmpegDecoder::openDecoder() {
    const AVCodec* decoder = nullptr;
    stream_ = av_find_best_stream(format_.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (stream_ == AVERROR_STREAM_NOT_FOUND) {
        throw EncoderError(name_ + " holds no audio stream");
    }
    if (stream_ < 0 || decoder == nullptr) {
        throw EncoderError(name_ + " holds audio in a form that cannot be decoded");
    }
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
        if (static_cast<int>(i) != stream_) {
            format_->streams[i]->discard = AVDISCARD_ALL;
        }
    }
    const AVStream* stream = format_->streams[stream_];
    codec_.reset(avcodec_alloc_context3(decoder));
    if (!codec_) {
        throw EncoderError("out of memory reading " + name_);
    }
    if (const int error = avcodec_parameters_to_context(codec_.get(), stream->codecpar);
        error < 0) {
        fail("cannot decode " + name_, error);
    }
    codec_->pkt_timebase = stream->time_base;
    // The programs share the machine's cores out themselves.
    codec_->thread_count = 1;
    if (const int error = avcodec_open2(codec_.get(), decoder, nullptr); error < 0) {
        fail("cannot decode " + name_, error);
    }
    channels_ = codec_->ch_layout.nb_channels;
    sampleRate_ = codec_->sample_rate;
    if (channels_ < 1 || sampleRate_ < 1) {
        throw EncoderError(name_ + " declares no channels or no sample rate");
    }
    AVChannelLayout layout{};
    if (codec_->ch_layout.order == AV_CHANNEL_ORDER_NATIVE) {
        channelMask_ = codec_->ch_layout.u.mask;
        av_channel_layout_copy(&layout, &codec_->ch_layout);
    } else {
        av_channel_layout_default(&layout, channels_);
    }
    // Only the sample form changes: same channels, same rate.
    SwrContext* convert = nullptr;
    int error = swr_alloc_set_opts2(&convert, &layout, AV_SAMPLE_FMT_FLT, sampleRate_, &layout,
                                    codec_->sample_fmt, sampleRate_, 0, nullptr);
    av_channel_layout_uninit(&layout);
    convert_.reset(convert);
    if (error >= 0) {
        error = swr_init(convert_.get());
    }
    if (error < 0) {
        fail("cannot convert the samples of " + name_, error);
    }
}

void FfmpegDecoder::declareLength() {
    // A length guessed from the bit rate is no measure of a file cut short.
    if (format_->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE) {
        return;
    }
    const AVStream* stream = format_->streams[stream_];
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0) {
        declared_ = av_rescale_q(stream->duration, stream->time_base, AVRational{1, sampleRate_});
        // A count in samples is exact when the codec's frames are cut where the container says.
        const AVCodecDescriptor* codec = avcodec_descriptor_get(codec_->codec_id);
        const bool lossless = codec != nullptr && (codec->props & AV_CODEC_PROP_LOSSLESS) != 0;
        if (stream->time_base.num == 1 && stream->time_base.den == sampleRate_ && lossless) {
            frames_ = declared_;
        }
    } else if (format_->duration != AV_NOPTS_VALUE && format_->duration > 0) {
        declared_ = av_rescale_q(format_->duration, AV_TIME_BASE_Q, AVRational{1, sampleRate_});
    }
}

int FfmpegDecoder::readPacket(void* self, std::uint8_t* buffer, int size) {
    auto* decoder = static_cast<FfmpegDecoder*>(self);
    if (interrupted(self) != 0) {
        return AVERROR_EXIT;
    }
    const std::size_t got = decoder->view_.readAt(
        decoder->position_, reinterpret_cast<char*>(buffer), static_cast<std::size_t>(size));
    if (got == 0) {
        return AVERROR_EOF;
    }
    decoder->position_ += got;
    return static_cast<int>(got);
}

std::int64_t FfmpegDecoder::seek(void* self, std::int64_t offset, int whence) {
    auto* decoder = static_cast<FfmpegDecoder*>(self);
    const auto size = static_cast<std::int64_t>(decoder->view_.size());
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
        return size;
    case SEEK_SET:
        break;
    case SEEK_CUR:
        offset += static_cast<std::int64_t>(decoder->position_);
        break;
    case SEEK_END:
        offset += size;
        break;
    default:
        return AVERROR(EINVAL);
    }
    if (offset < 0) {
        return AVERROR(EINVAL);
    }
    decoder->position_ = static_cast<std::uint64_t>(offset);
    return offset;
}

int FfmpegDecoder::interrupted(void* self) {
    return std::chrono::steady_clock::now() >= static_cast<FfmpegDecoder*>(self)->deadline_ ? 1 : 0;
}

std::string FfmpegDecoder::text(int which) const {
    const char* key = nullptr;
    switch (which) {
    case SF_STR_TITLE:
        key = "title";
        break;
    case SF_STR_COPYRIGHT:
        key = "copyright";
        break;
    case SF_STR_ARTIST:
        key = "artist";
        break;
    case SF_STR_COMMENT:
        key = "comment";
        break;
    case SF_STR_DATE:
        key = "date";
        break;
    case SF_STR_ALBUM:
        key = "album";
        break;
    case SF_STR_TRACKNUMBER:
        key = "track";
        break;
    case SF_STR_GENRE:
        key = "genre";
        break;
    default:
        return "";
    }
    // The stream's own text first: a film's title is not its sound track's.
    for (const AVDictionary* tags : {format_->streams[stream_]->metadata, format_->metadata}) {
        if (const AVDictionaryEntry* entry = av_dict_get(tags, key, nullptr, 0)) {
            return entry->value;
        }
    }
    return "";
}

bool FfmpegDecoder::decodeMore() {
    for (;;) {
        const int received = avcodec_receive_frame(codec_.get(), frame_.get());
        if (received == 0) {
            if (frame_->ch_layout.nb_channels != channels_ || frame_->sample_rate != sampleRate_ ||
                frame_->format != codec_->sample_fmt) {
                throw EncoderError(name_ + " changes its channels or sample rate midway");
            }
            const int room = swr_get_out_samples(convert_.get(), frame_->nb_samples);
            pending_.resize(static_cast<std::size_t>(std::max(room, 0) * channels_));
            auto* out = reinterpret_cast<std::uint8_t*>(pending_.data());
            const int made = swr_convert(convert_.get(), &out, room,
                                         const_cast<const std::uint8_t**>(frame_->extended_data),
                                         frame_->nb_samples);
            av_frame_unref(frame_.get());
            if (made < 0) {
                fail("cannot convert the samples of " + name_, made);
            }
            pending_.resize(static_cast<std::size_t>(made * channels_));
            pendingAt_ = 0;
            deadline_ = std::chrono::steady_clock::now() + stallLimit_;
            if (made > 0) {
                return true;
            }
            continue;
        }
        if (received == AVERROR_EOF) {
            return false;
        }
        if (received != AVERROR(EAGAIN)) {
            fail(name_ + " is damaged", received);
        }
        if (std::chrono::steady_clock::now() >= deadline_) {
            fail(name_, AVERROR_EXIT);
        }
        const int got = av_read_frame(format_.get(), packet_.get());
        if (got == AVERROR_EOF) {
            draining_ = true;
            avcodec_send_packet(codec_.get(), nullptr);
            continue;
        }
        if (got < 0) {
            fail(name_ + " cannot be read to its end", got);
        }
        if (packet_->stream_index == stream_) {
            const int sent = avcodec_send_packet(codec_.get(), packet_.get());
            if (sent < 0 && sent != AVERROR(EAGAIN)) {
                av_packet_unref(packet_.get());
                fail(name_ + " is damaged", sent);
            }
        }
        av_packet_unref(packet_.get());
    }
}

std::size_t FfmpegDecoder::read(std::span<float> interleaved) {
    const auto channels = static_cast<std::size_t>(channels_);
    std::size_t done = 0; // samples
    const std::size_t wanted = interleaved.size() / channels * channels;
    while (done < wanted) {
        if (pendingAt_ == pending_.size()) {
            pending_.clear();
            pendingAt_ = 0;
            if (ended_ || !decodeMore()) {
                ended_ = true;
                break;
            }
        }
        const std::size_t step = std::min(wanted - done, pending_.size() - pendingAt_);
        std::copy_n(pending_.begin() + static_cast<std::ptrdiff_t>(pendingAt_), step,
                    interleaved.begin() + static_cast<std::ptrdiff_t>(done));
        pendingAt_ += step;
        done += step;
    }
    std::size_t frames = done / channels;
    // An exact count is kept to: the coders size the stream by it.
    if (frames_ && delivered_ + static_cast<std::int64_t>(frames) > *frames_) {
        frames = static_cast<std::size_t>(std::max<std::int64_t>(*frames_ - delivered_, 0));
    }
    delivered_ += static_cast<std::int64_t>(frames);
    // A count that may be rounded is given a tenth of a second.
    const std::int64_t slack = frames_ ? 0 : sampleRate_ / 10;
    if (frames == 0 && declared_ && delivered_ < *declared_ - slack) {
        throw EncoderError(name_ + " ends after " + seconds(delivered_, sampleRate_) +
                           " s of the " + seconds(*declared_, sampleRate_) +
                           " s it declares; it is truncated or damaged");
    }
    return frames;
}

} // namespace encoders
