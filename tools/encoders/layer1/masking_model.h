#pragma once

#include "tools/encoders/layer1/polyphase_analysis.h"

#include <array>

namespace encoders::layer1 {

using SubbandValues = std::array<double, kSubbands>;

// A small psychoacoustic model working on subband levels: each subband's energy masks its
// neighbours with fixed slopes on the Bark scale, on top of the threshold of hearing.
// Levels are in dB relative to a full-scale sine; the result is each subband's
// signal-to-mask ratio in dB, the precision its samples need for the noise to stay masked.
SubbandValues signalToMask(const SubbandValues& peakDb, const SubbandValues& energyDb,
                           int sampleRate);

} // namespace encoders::layer1
