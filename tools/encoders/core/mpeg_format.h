#pragma once

#include <span>
#include <string>

// What the MPEG audio formats allow: layers, channel modes, sample rates and bitrates.
namespace encoders {

enum class Layer { I, II, III };

enum class ChannelMode { Stereo, JointStereo, DualChannel, Mono };

// MPEG-1 for 32, 44.1 and 48 kHz; MPEG-2 for the half rates; MPEG-2.5 (Layer III only) for
// the quarter rates.
enum class MpegVersion { Mpeg1, Mpeg2, Mpeg25 };

// How a Layer III coder spends its bits: a constant bitrate, LAME's variable bitrate at a
// quality of its -V scale (0 best, 9 smallest), or an average bitrate over the file.
enum class RateControl { Constant, Variable, Average };
inline constexpr int kMaxVbrQuality = 9;
inline constexpr int kMinAverageKbps = 8;
inline constexpr int kMaxAverageKbps = 320;

std::string layerName(Layer layer);
std::string modeName(ChannelMode mode);
std::string versionName(MpegVersion version);

// True when the layer can be coded at this sample rate.
bool isSupportedSampleRate(Layer layer, int sampleRate);

// The version that codes this sample rate; the rate must be supported.
MpegVersion versionForSampleRate(int sampleRate);

// The sample rate to encode an input of inputRate at: the input's own rate when the layer
// supports it, otherwise the nearest rate of the same family (multiples of 11025 Hz or of
// 4000 Hz) at or above it, so that resampling keeps the whole band and a simple ratio.
int chooseSampleRate(Layer layer, int inputRate);

// The bitrates in kbit/s that the layer allows at this sample rate and channel mode, ascending.
std::span<const int> allowedBitrates(Layer layer, int sampleRate, ChannelMode mode);

// The allowed bitrate nearest to the requested one; an exact tie goes to the higher rate.
int nearestAllowedBitrate(Layer layer, int sampleRate, ChannelMode mode, int requestedKbps);

} // namespace encoders
