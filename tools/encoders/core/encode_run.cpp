#include "tools/encoders/core/encode_run.h"

#include "libs/resampler/resampler.h"
#include "tools/encoders/core/audio_source.h"
#include "tools/encoders/core/batch_protocol.h"
#include "tools/encoders/core/cue_track.h"
#include "tools/encoders/core/encoder_error.h"
#include "tools/encoders/core/environment_value.h"
#include "tools/encoders/core/id3_writer.h"
#include "tools/encoders/core/lame_encoder.h"
#include "tools/encoders/core/loudness.h"
#include "tools/encoders/core/output_file.h"
#include "tools/encoders/core/source_tags.h"
#include "tools/encoders/core/twolame_encoder.h"
#include "tools/encoders/layer1/layer1_encoder.h"
#include "tools/encoders/parallel/chunked_encoder.h"
#include "tools/encoders/parallel/job_slots.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <memory>
#include <optional>
#include <ostream>
#include <vector>

namespace encoders {

namespace {

constexpr std::size_t kBlockFrames = 8192;
// The longest file name, in bytes, that Linux file systems take.
constexpr std::size_t kMaxNameBytes = 255;

// A request that cannot succeed is refused before any work: a name the file system cannot
// take would otherwise fail only when the coded file is put in place.
void checkRequest(const EncodeRequest& request) {
    const std::string name = request.output.filename().string();
    if (name.size() > kMaxNameBytes) {
        throw EncoderError("the output name '" + name + "' is " + std::to_string(name.size()) +
                           " bytes long; file names may have at most " +
                           std::to_string(kMaxNameBytes));
    }
}

// The batch's file for the measured loudness is refused before any work when the measurement
// could not be written there: missing or a regular file, nothing else.
void checkLoudnessFile(const std::filesystem::path& path) {
    std::error_code error;
    const auto type = std::filesystem::status(path, error).type();
    if (path.empty() || (type != std::filesystem::file_type::not_found &&
                         type != std::filesystem::file_type::regular)) {
        throw EncoderError(std::string(protocol::kLoudnessFile) + "='" + path.string() +
                           "' names no regular file for the loudness");
    }
}

std::string rateName(const EncodeRequest& request, int kbps) {
    switch (request.rateControl) {
    case RateControl::Variable:
        return "VBR V" + std::to_string(request.vbrQuality);
    case RateControl::Average:
        return "ABR " + std::to_string(kbps) + " kbit/s";
    case RateControl::Constant:
        break;
    }
    return std::to_string(kbps) + " kbit/s";
}

// What the run codes, once the input is known.
struct Plan {
    int inputRate;
    int sampleRate;
    int channels;
    ChannelMode mode;
    int kbps;
};

Plan plan(const EncodeRequest& request, const AudioSource& source, std::ostream& notes) {
    Plan p;
    p.inputRate = source.sampleRate();
    p.sampleRate = chooseSampleRate(request.layer, p.inputRate);
    // A mono input stays mono whatever the mode; a stereo one is mixed down for mono.
    p.channels = request.mode == ChannelMode::Mono ? 1 : source.channels();
    if (source.mixedDownFrom() > 0) {
        notes << "'" << request.input.string() << "': mixed down from " << source.mixedDownFrom()
              << " channels\n";
    }
    p.mode = p.channels == 1 ? ChannelMode::Mono : request.mode;
    if (request.layer == Layer::III && p.mode == ChannelMode::DualChannel) {
        notes << "dual channel is not available in Layer III; using stereo\n";
        p.mode = ChannelMode::Stereo;
    }
    if (p.sampleRate != p.inputRate) {
        notes << layerName(request.layer) << " cannot code " << p.inputRate << " Hz; resampling to "
              << p.sampleRate << " Hz\n";
    }
    p.kbps = request.rateControl == RateControl::Constant
                 ? nearestAllowedBitrate(request.layer, p.sampleRate, p.mode, request.kbps)
                 : request.kbps;
    if (p.kbps != request.kbps) {
        notes << request.kbps << " kbit/s is not allowed for "
              << versionName(versionForSampleRate(p.sampleRate)) << " " << layerName(request.layer)
              << " " << modeName(p.mode) << "; using " << p.kbps << " kbit/s\n";
    }
    return p;
}

std::unique_ptr<FrameEncoder> makeEncoder(const EncodeRequest& request, const Plan& p,
                                          std::optional<std::int64_t> inputSamples) {
    // Layer III input comes at its own rate (the whole-file coder resamples it itself). Chunks
    // are shared out by the input's length: without one the file is coded whole.
    if (inputSamples) {
        // Far beyond any real file; the bound keeps the product in range.
        const std::int64_t samples =
            std::min(*inputSamples, std::numeric_limits<std::int64_t>::max() / kMaxInputRate);
        if (auto chunked = parallel::makeChunkedEncoder(
                {.layer = request.layer,
                 .channels = p.channels,
                 .sampleRate = p.sampleRate,
                 .mode = p.mode,
                 .kbps = p.kbps,
                 .lameQuality = request.lameQuality,
                 .inputRate = request.layer == Layer::III ? p.inputRate : p.sampleRate,
                 .rateControl = request.rateControl,
                 .vbrQuality = request.vbrQuality},
                samples * p.sampleRate / p.inputRate)) {
            return chunked;
        }
    }
    switch (request.layer) {
    case Layer::I:
        // Without a check word: decoders differ on what it covers in joint stereo frames.
        return std::make_unique<layer1::Layer1Encoder>(
            layer1::Layer1Settings{p.channels, p.sampleRate, p.mode, p.kbps, false});
    case Layer::II:
        return std::make_unique<TwolameEncoder>(
            TwolameSettings{p.channels, p.sampleRate, p.mode, p.kbps});
    case Layer::III:
        break;
    }
    return std::make_unique<LameEncoder>(LameSettings{p.channels, p.inputRate, p.sampleRate, p.mode,
                                                      p.kbps, request.lameQuality, true,
                                                      request.rateControl, request.vbrQuality});
}

// Prints the share of the input done in steps of a quarter: a handful of lines per file. A
// line goes out at once only when the last went out a while ago: whoever reads them is woken
// a few times a second at most, and for a short file once at its end.
class ProgressLines {
public:
    ProgressLines(std::ostream& out, std::int64_t total) : out_(out), total_(total) {}

    void advance(std::int64_t frames) {
        done_ += frames;
        while (total_ > 0 && next_ < 100 && done_ * 100 >= total_ * next_) {
            out_ << protocol::progressLine(next_) << "\n";
            next_ += 25;
            const auto now = std::chrono::steady_clock::now();
            if (now - flushed_ >= kFlushInterval) {
                out_.flush();
                flushed_ = now;
            }
        }
    }

    // The coding is over: the last line goes out at once, in one write, before the file is put
    // on the disk. A batch then starts its next program on the core that this one leaves.
    void finish() { out_ << protocol::progressLine(100) << std::endl; }

private:
    static constexpr auto kFlushInterval = std::chrono::milliseconds(100);
    std::ostream& out_;
    std::int64_t total_;
    std::int64_t done_ = 0;
    int next_ = 25;
    std::chrono::steady_clock::time_point flushed_ = std::chrono::steady_clock::now();
};

void downmix(std::vector<float>& block, std::size_t frames) {
    for (std::size_t i = 0; i < frames; ++i) {
        block[i] = 0.5f * (block[2 * i] + block[2 * i + 1]);
    }
}

// The input's tags; damaged tags and a header that declares too little audio become notes.
Tags inspectInput(const std::filesystem::path& input, const AudioSource& source,
                  std::ostream& notes) {
    std::ifstream in(input, std::ios::binary);
    std::vector<std::string> warnings;
    Tags tags = readSourceTags(
        input, [&source](int which) { return source.text(which); }, warnings);
    if (std::string shortData = shortDataChunkWarning(in); !shortData.empty()) {
        warnings.push_back(shortData);
    }
    for (const std::string& warning : warnings) {
        notes << "'" << input.string() << "': " << warning << "\n";
    }
    return tags;
}

// The frames the run codes: the whole source, or one track of it. The frames before a track
// are read and dropped: a seek is not exact in every kind of source.
class CodedFrames {
public:
    CodedFrames(AudioSource& source, std::optional<SourceTrack> track)
        : source_(source), track_(std::move(track)) {}

    const std::optional<SourceTrack>& track() const { return track_; }
    std::optional<std::int64_t> length() const {
        return track_ ? std::optional(track_->end - track_->first) : source_.frames();
    }

    // As AudioSource::read, ending with the track.
    std::size_t read(std::vector<float>& block) {
        std::span<float> room(block);
        if (track_) {
            while (skipped_ < track_->first) {
                skipped_ += std::int64_t(readAtMost(room, track_->first - skipped_));
            }
            room = room.first(std::size_t(std::min(std::int64_t(room.size()) / source_.channels(),
                                                   track_->end - track_->first - read_)) *
                              std::size_t(source_.channels()));
        }
        const std::size_t frames = room.empty() ? 0 : source_.read(room);
        read_ += std::int64_t(frames);
        if (frames == 0 && track_ && read_ != track_->end - track_->first) {
            throw EncoderError("the source ends before the end of its track");
        }
        return frames;
    }

private:
    std::size_t readAtMost(std::span<float> room, std::int64_t frames) {
        const std::size_t wanted =
            std::size_t(std::min(std::int64_t(room.size()) / source_.channels(), frames));
        const std::size_t got = source_.read(room.first(wanted * std::size_t(source_.channels())));
        if (got == 0) {
            throw EncoderError("the source ends before its track starts");
        }
        return got;
    }

    AudioSource& source_;
    std::optional<SourceTrack> track_;
    std::int64_t skipped_ = 0;
    std::int64_t read_ = 0;
};

// The loudness is measured unless SONABOX_ENCODER_LOUDNESS=0 (for benchmarks: the cost of it).
std::optional<LoudnessMeter> loudnessMeter(const AudioSource& source) {
    if (!environmentSwitch(protocol::kEncoderLoudness).value_or(true)) {
        return std::nullopt;
    }
    return std::make_optional<LoudnessMeter>(source.channels(), source.sampleRate());
}

} // namespace

void runEncode(const EncodeRequest& request, std::ostream& progress, std::ostream& notes) {
    checkRequest(request);
    const std::optional<TrackRequest> trackAsked = trackRequest();
    const char* record = std::getenv(protocol::kLoudnessFile);
    if (record != nullptr) {
        checkLoudnessFile(record);
    }
    AudioSource source(request.input);
    const auto noAudio = [&request] {
        return EncoderError("'" + request.input.string() + "' holds no audio samples");
    };
    if (source.frames() == 0) {
        throw noAudio();
    }
    Tags tags = inspectInput(request.input, source, notes);
    // One track of an album: its frames only, with the sheet's tags.
    CodedFrames coded(
        source, trackAsked ? std::optional(cutTrack(*trackAsked, request.input, source.sampleRate(),
                                                    source.frames(), tags))
                           : std::nullopt);
    if (coded.track()) {
        tags = coded.track()->tags;
    }
    const Plan p = plan(request, source, notes);
    OutputFile out(request.output, source.identity(),
                   request.replaceOutput ? durable::Placement::Replace
                                         : durable::Placement::NoReplace);
    // The tag keeps room for the ReplayGain frames, filled in at the end (the track's) and by
    // the batch's album step (the album's) without moving the audio.
    const std::size_t headSize = std::max<std::size_t>(id3v2Tag(tags).size(), 10) + kReplayGainRoom;
    out.write(id3v2Tag(tags, {}, headSize));
    std::optional<LoudnessMeter> meter = loudnessMeter(source);
    auto encoder = parallel::holdingJobSlot(makeEncoder(request, p, coded.length()));
    // LAME resamples by itself; the other layers get their rate from us.
    std::optional<resampler::Resampler> converter;
    if (request.layer != Layer::III && p.sampleRate != p.inputRate) {
        converter.emplace(p.channels, p.inputRate, p.sampleRate);
    }
    // Notes wait until the run is set up, so a run refused up front reports one line only.
    notes.flush();

    progress << "Encoding " << request.input.string() << "\n";
    progress << "  " << versionName(versionForSampleRate(p.sampleRate)) << " "
             << layerName(request.layer) << ", " << rateName(request, p.kbps) << ", "
             << modeName(p.mode) << ", " << p.sampleRate << " Hz\n";
    // The batch shows this beside the file's result.
    if (source.mixedDownFrom() > 0) {
        progress << protocol::noteLine("mixed down from " + std::to_string(source.mixedDownFrom()) +
                                       " channels")
                 << "\n";
    }
    progress.flush();
    // Of a source whose length is not known only the last line is printed.
    ProgressLines lines(progress,
                        (coded.track() ? coded.length() : source.roughFrames()).value_or(0));
    std::int64_t framesRead = 0;
    std::vector<float> block(kBlockFrames * source.channels());
    for (;;) {
        const std::size_t frames = coded.read(block);
        const bool last = frames == 0;
        if (meter) {
            meter->add(std::span<const float>(block).first(frames * source.channels()));
        }
        if (source.channels() == 2 && p.channels == 1) {
            downmix(block, frames);
        }
        std::span<const float> samples = std::span<const float>(block).first(frames * p.channels);
        if (converter) {
            samples = converter->convert(samples, last);
        }
        encoder->encode(samples, out);
        if (last) {
            break;
        }
        framesRead += static_cast<std::int64_t>(frames);
        lines.advance(static_cast<std::int64_t>(frames));
    }
    if (framesRead == 0) {
        throw noAudio();
    }
    if (source.silencedNaNs() > 0) {
        notes << "'" << request.input.string() << "': " << source.silencedNaNs()
              << " samples are not numbers (NaN); they are coded as silence\n";
    }
    const std::optional<ReplayGain> gain = meter ? replayGain(meter->measured()) : std::nullopt;
    // The batch that runs the program pools the tracks of a folder for their album gain.
    if (meter && record != nullptr) {
        saveLoudness(record, meter->measured());
    }
    if (gain) {
        encoder->setTrackGain(*gain);
    }
    encoder->finish(out);
    out.write(id3v1Tag(tags));
    if (gain) {
        out.overwrite(0, id3v2Tag(tags, replayGainTexts("TRACK", *gain), headSize));
    }
    encoder.reset(); // gives its job slot back
    lines.finish();
    out.commit();
    progress << "Written " << request.output.string() << std::endl;
}

} // namespace encoders
