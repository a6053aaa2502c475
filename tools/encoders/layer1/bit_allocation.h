#pragma once

#include "tools/encoders/layer1/masking_model.h"

#include <array>

namespace encoders::layer1 {

inline constexpr int kMaxAllocation = 14; // codes 15-bit samples
inline constexpr int kSamplesPerSubband = 12;
inline constexpr int kScaleFactorBits = 6;

using Allocation = std::array<std::array<int, kSubbands>, 2>;

// Quantiser precision in dB that an allocation code gives: code a > 0 codes each sample with
// a + 1 bits in 2^(a+1) - 1 levels.
double allocationSnrDb(int allocation);

// What the allocation works with: per channel, each subband's signal-to-mask ratio and
// whether it holds any signal. Subbands from `bound` on are coded once for both channels
// (intensity stereo) and cost two scale factors.
struct AllocationRequest {
    int channels = 2;
    int bound = kSubbands;
    std::array<SubbandValues, 2> smrDb{};
    std::array<std::array<bool, kSubbands>, 2> audible{};
    int bits = 0; // for scale factors and samples
};

struct AllocationResult {
    Allocation allocation{};
    // The smallest mask-to-noise ratio left among subbands that carry signal above their mask;
    // negative when some of them could not get the precision they need.
    double worstMnrDb = 0;
};

// Gives bits, one step at a time, to the subband whose noise is furthest above its mask,
// until no step fits in the bits left. For subbands from the bound on the code stands in
// both rows of the result.
AllocationResult allocateBits(const AllocationRequest& request);

} // namespace encoders::layer1
