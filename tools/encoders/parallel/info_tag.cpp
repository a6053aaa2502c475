#include "tools/encoders/parallel/info_tag.h"

#include "tools/encoders/core/encoder_error.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace encoders::parallel {

namespace {

constexpr std::size_t kMaxPositions = 2048;
constexpr int kXingBytes = 120; // "Info" or "Xing", flags, frames, bytes, 100-byte table, quality
constexpr int kLameBytes = 36;

const std::array<std::uint16_t, 256>& crcTable() {
    static const auto table = [] {
        std::array<std::uint16_t, 256> t{};
        for (int i = 0; i < 256; ++i) {
            std::uint16_t crc = static_cast<std::uint16_t>(i);
            for (int bit = 0; bit < 8; ++bit) {
                crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                                : static_cast<std::uint16_t>(crc >> 1);
            }
            t[i] = crc;
        }
        return t;
    }();
    return table;
}

void putBig(std::span<std::uint8_t> out, std::size_t at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out[at + i] = static_cast<std::uint8_t>(value >> (8 * (bytes - 1 - i)));
    }
}

std::vector<std::uint8_t> infoHeader(std::span<const std::uint8_t> audioHeader) {
    std::vector<std::uint8_t> header(audioHeader.begin(), audioHeader.begin() + 4);
    header[1] |= 1; // no check word
    auto parsed = *parseHeader(header);
    const int needed = 4 + parsed.sideInfoBytes() + kXingBytes + kLameBytes;
    for (int index = parsed.bitrateIndex; index < 15; ++index) {
        setBitrateIndex(header, index);
        if (parseHeader(header)->frameBytes() >= needed) {
            return header;
        }
    }
    throw EncoderError("internal error: no Layer III frame holds the Info tag");
}

// Bytes 11..18 of the LAME extension: the peak as a fraction of full scale in 9.23 fixed point,
// the radio gain (name 1, set automatically, sign, tenths of a dB), no audiophile gain.
void putReplayGain(std::span<std::uint8_t> lame, const ReplayGain& gain) {
    const double peak = std::clamp(gain.peak, 0.0, 255.0) * (1 << 23);
    const auto tenths =
        static_cast<std::uint32_t>(std::min(std::lround(std::abs(gain.gainDb) * 10), 511L));
    const std::uint32_t radio = 1u << 13 | 3u << 10 | (gain.gainDb < 0 ? 1u << 9 : 0u) | tenths;
    const std::uint32_t fields[] = {static_cast<std::uint32_t>(std::lround(peak)), radio << 16};
    for (int i = 0; i < 8; ++i) {
        lame[11 + i] = static_cast<std::uint8_t>(fields[i / 4] >> (8 * (3 - i % 4)));
    }
}

int sampleRateCode(int rate) {
    if (rate <= 32000) {
        return 0;
    }
    return rate == 44100 ? 1 : rate == 48000 ? 2 : 3;
}

} // namespace

std::uint16_t tagCrc(std::span<const std::uint8_t> data, std::uint16_t crc) {
    const auto& table = crcTable();
    for (std::uint8_t byte : data) {
        crc = static_cast<std::uint16_t>((crc >> 8) ^ table[(crc ^ byte) & 0xFF]);
    }
    return crc;
}

void StreamSummary::add(std::span<const std::uint8_t> frame) {
    if (frames_ % stride_ == 0) {
        if (positions_.size() == kMaxPositions) {
            // Keep every other position and twice the distance between them.
            for (std::size_t i = 0; i < kMaxPositions / 2; ++i) {
                positions_[i] = positions_[2 * i];
            }
            positions_.resize(kMaxPositions / 2);
            stride_ *= 2;
        }
        if (frames_ % stride_ == 0) {
            positions_.push_back(bytes_);
        }
    }
    ++frames_;
    bytes_ += static_cast<std::int64_t>(frame.size());
    crc_ = tagCrc(frame, crc_);
}

std::vector<std::uint8_t> StreamSummary::seekTable(std::int64_t offset,
                                                   std::int64_t totalBytes) const {
    std::vector<std::uint8_t> table(100, 0);
    if (frames_ == 0 || totalBytes <= 0) {
        return table;
    }
    for (int i = 0; i < 100; ++i) {
        // The frame at i % of the frames, between two known positions.
        const double frame = static_cast<double>(frames_) * i / 100.0;
        const auto slot =
            std::min(static_cast<std::size_t>(frame / stride_), positions_.size() - 1);
        const double from = static_cast<double>(positions_[slot]);
        const double nextFrame =
            std::min<double>(static_cast<double>((slot + 1) * stride_), frames_);
        const double to = slot + 1 < positions_.size() ? positions_[slot + 1] : bytes_;
        const double share = nextFrame > slot * stride_
                                 ? (frame - slot * stride_) / (nextFrame - slot * stride_)
                                 : 0.0;
        const double position = offset + from + share * (to - from);
        table[i] = static_cast<std::uint8_t>(std::min(255.0, 256.0 * position / totalBytes));
    }
    return table;
}

int infoFrameBytes(std::span<const std::uint8_t> audioHeader) {
    return parseHeader(infoHeader(audioHeader))->frameBytes();
}

std::vector<std::uint8_t> infoFrame(std::span<const std::uint8_t> audioHeader,
                                    const StreamSummary& summary, const TagFacts& facts) {
    const auto header = infoHeader(audioHeader);
    const auto parsed = *parseHeader(header);
    std::vector<std::uint8_t> frame(parsed.frameBytes(), 0);
    std::copy(header.begin(), header.end(), frame.begin());
    const std::int64_t totalBytes = parsed.frameBytes() + summary.bytes();

    std::size_t at = 4 + parsed.sideInfoBytes();
    // Players take the frame count and seek table of a "Xing" frame as the truth; an "Info"
    // frame tells them that every frame is the same size.
    const std::string info = facts.vbrMethod == 1 ? "Info" : "Xing";
    std::copy(info.begin(), info.end(), frame.begin() + at);
    putBig(frame, at + 4, 0x0F, 4); // frames, bytes, seek table and quality present
    putBig(frame, at + 8, static_cast<std::uint32_t>(summary.frames()), 4);
    putBig(frame, at + 12, static_cast<std::uint32_t>(totalBytes), 4);
    const auto table = summary.seekTable(parsed.frameBytes(), totalBytes);
    std::copy(table.begin(), table.end(), frame.begin() + at + 16);
    putBig(frame, at + 116, static_cast<std::uint32_t>(facts.quality), 4);

    at += kXingBytes;
    std::string version = "LAME" + facts.encoderVersion;
    version.resize(9, ' ');
    std::copy(version.begin(), version.end(), frame.begin() + at);
    frame[at + 9] = static_cast<std::uint8_t>(facts.vbrMethod & 0x0F); // tag revision 0
    frame[at + 10] = static_cast<std::uint8_t>(std::clamp((facts.lowpassHz + 50) / 100, 0, 255));
    if (facts.trackGain) {
        putReplayGain(std::span(frame).subspan(at), *facts.trackGain);
    }
    frame[at + 19] = static_cast<std::uint8_t>(facts.athType & 0x0F);
    frame[at + 20] = static_cast<std::uint8_t>(std::min(facts.kbps, 255));
    if (facts.encoderDelay < 0 || facts.encoderDelay > 4095 || facts.padding < 0 ||
        facts.padding > 4095) {
        throw EncoderError("internal error: encoder delay or padding out of the tag's range");
    }
    putBig(frame, at + 21, static_cast<std::uint32_t>(facts.encoderDelay << 12 | facts.padding), 3);
    const int stereoMode = parsed.channelMode == 3 ? 0 : parsed.channelMode == 1 ? 3 : 1;
    frame[at + 24] =
        static_cast<std::uint8_t>(sampleRateCode(parsed.sampleRate) << 6 | stereoMode << 2);
    putBig(frame, at + 28, static_cast<std::uint32_t>(totalBytes), 4);
    putBig(frame, at + 32, summary.crc(), 2);
    putBig(frame, at + 34, tagCrc(std::span(frame).first(at + 34)), 2);
    return frame;
}

} // namespace encoders::parallel
