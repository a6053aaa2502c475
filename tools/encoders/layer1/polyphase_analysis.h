#pragma once

#include <array>
#include <span>

namespace encoders::layer1 {

inline constexpr int kSubbands = 32;
inline constexpr int kWindowLength = 512;

// Delay in samples from an input sample to the same sample at the output of a standard MPEG
// decoder's synthesis filter bank, both banks together.
inline constexpr int kFilterBankDelay = 481;

// The analysis window: the 32-band prototype low-pass filter with the sign pattern that lets
// the bank fold 512 taps into 64 before the cosine matrix. The prototype is a Kaiser-windowed
// sinc whose cutoff is tuned so that its response is 3 dB down at the band edge (pi/64), which
// makes neighbouring bands power-complementary and cancels their aliasing in the decoder.
const std::array<double, kWindowLength>& analysisWindow();

// The polyphase analysis filter bank of Layers I and II: 32 new samples in, one sample of each
// of the 32 subbands out.
class PolyphaseAnalysis {
public:
    PolyphaseAnalysis();

    // Feeds samples without producing subband output, as history for the first block.
    void prime(std::span<const float> samples);

    // Takes 32 samples, oldest first, and gives the 32 subband samples.
    void analyse(std::span<const float, kSubbands> samples, std::span<float, kSubbands> subbands);

private:
    // Newest sample first.
    std::array<double, kWindowLength> history_{};
};

} // namespace encoders::layer1
