#include "tools/encoders/sources/sndfile_decoder.h"

#include "tools/encoders/core/encoder_error.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <vector>

namespace encoders {

SndfileDecoder::SndfileDecoder(AudioFileView& view, const std::string& name) {
    file_ = view.open(info_);
    if (file_ == nullptr) {
        throw EncoderError("cannot read " + name + " as audio: " + sf_strerror(nullptr));
    }
}

SndfileDecoder::~SndfileDecoder() {
    sf_close(file_);
}

std::optional<std::int64_t> SndfileDecoder::frames() const {
    // libsndfile's mark for a length it could not find.
    if (info_.frames < 0 || info_.frames == SF_COUNT_MAX) {
        return std::nullopt;
    }
    return info_.frames;
}

std::uint64_t SndfileDecoder::channelMask() const {
    std::vector<int> map(static_cast<std::size_t>(info_.channels));
    if (info_.channels < 1 || sf_command(file_, SFC_GET_CHANNEL_MAP_INFO, map.data(),
                                         static_cast<int>(map.size() * sizeof(int))) != SF_TRUE) {
        return 0;
    }
    // The mask names each channel once, in the order of the file.
    std::uint64_t mask = 0;
    std::uint64_t previous = 0;
    for (int position : map) {
        std::uint64_t bit = 0;
        switch (position) {
        case SF_CHANNEL_MAP_MONO:
            bit = AV_CH_FRONT_CENTER;
            break;
        case SF_CHANNEL_MAP_LEFT:
        case SF_CHANNEL_MAP_FRONT_LEFT:
            bit = AV_CH_FRONT_LEFT;
            break;
        case SF_CHANNEL_MAP_RIGHT:
        case SF_CHANNEL_MAP_FRONT_RIGHT:
            bit = AV_CH_FRONT_RIGHT;
            break;
        case SF_CHANNEL_MAP_CENTER:
        case SF_CHANNEL_MAP_FRONT_CENTER:
            bit = AV_CH_FRONT_CENTER;
            break;
        case SF_CHANNEL_MAP_LFE:
            bit = AV_CH_LOW_FREQUENCY;
            break;
        case SF_CHANNEL_MAP_REAR_LEFT:
            bit = AV_CH_BACK_LEFT;
            break;
        case SF_CHANNEL_MAP_REAR_RIGHT:
            bit = AV_CH_BACK_RIGHT;
            break;
        case SF_CHANNEL_MAP_REAR_CENTER:
            bit = AV_CH_BACK_CENTER;
            break;
        case SF_CHANNEL_MAP_SIDE_LEFT:
            bit = AV_CH_SIDE_LEFT;
            break;
        case SF_CHANNEL_MAP_SIDE_RIGHT:
            bit = AV_CH_SIDE_RIGHT;
            break;
        case SF_CHANNEL_MAP_FRONT_LEFT_OF_CENTER:
            bit = AV_CH_FRONT_LEFT_OF_CENTER;
            break;
        case SF_CHANNEL_MAP_FRONT_RIGHT_OF_CENTER:
            bit = AV_CH_FRONT_RIGHT_OF_CENTER;
            break;
        default:
            return 0;
        }
        // A mask gives the channels in its own bit order only.
        if ((mask & bit) != 0 || bit < previous) {
            return 0;
        }
        mask |= bit;
        previous = bit;
    }
    return mask;
}

std::string SndfileDecoder::text(int which) const {
    const char* found = sf_get_string(file_, which);
    return found != nullptr ? found : "";
}

bool SndfileDecoder::unbounded() const {
    // Integer samples come scaled into full scale already; others may lie beyond it.
    switch (info_.format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32:
        return false;
    default:
        return true;
    }
}

std::size_t SndfileDecoder::read(std::span<float> interleaved) {
    const auto wanted = static_cast<sf_count_t>(interleaved.size() / info_.channels);
    const sf_count_t got = sf_readf_float(file_, interleaved.data(), wanted);
    if (got < 0 || (got < wanted && sf_error(file_) != SF_ERR_NO_ERROR)) {
        throw EncoderError(std::string("reading the input failed: ") + sf_strerror(file_));
    }
    return static_cast<std::size_t>(got);
}

} // namespace encoders
