#include "tools/encoders/layer1/masking_model.h"

#include <algorithm>
#include <cmath>

namespace encoders::layer1 {

namespace {

// How far below a masker's level noise stays inaudible, and how fast masking falls off
// towards higher and lower bands (dB per Bark).
constexpr double kMaskOffsetDb = 12.0;
constexpr double kUpwardSlopeDb = 15.0;
constexpr double kDownwardSlopeDb = 27.0;

// A full-scale sine is taken to play at 96 dB SPL.
constexpr double kFullScaleSplDb = 96.0;

double bark(double hz) {
    return 13.0 * std::atan(0.00076 * hz) + 3.5 * std::atan((hz / 7500.0) * (hz / 7500.0));
}

// Threshold of hearing in quiet, dB SPL (Terhardt's approximation). Its steep rise above
// 16 kHz is capped, so loud content up there still gets bits when the bitrate allows.
double hearingThreshold(double hz) {
    constexpr double kCeilingDb = 80.0;
    const double k = std::max(hz, 20.0) / 1000.0;
    return std::min(kCeilingDb, 3.64 * std::pow(k, -0.8) -
                                    6.5 * std::exp(-0.6 * (k - 3.3) * (k - 3.3)) +
                                    1e-3 * k * k * k * k);
}

double toPower(double db) {
    return std::pow(10.0, db / 10.0);
}

} // namespace

SubbandValues signalToMask(const SubbandValues& peakDb, const SubbandValues& energyDb,
                           int sampleRate) {
    const double bandwidth = sampleRate / 64.0;
    SubbandValues centreBark{};
    SubbandValues quietDb{};
    for (int sb = 0; sb < kSubbands; ++sb) {
        centreBark[sb] = bark((sb + 0.5) * bandwidth);
        // The band's most sensitive point decides what noise in it can be heard.
        double lowest = 1e9;
        for (int step = 0; step <= 4; ++step) {
            lowest = std::min(lowest, hearingThreshold((sb + step / 4.0) * bandwidth));
        }
        quietDb[sb] = lowest - kFullScaleSplDb;
    }
    SubbandValues smr{};
    for (int sb = 0; sb < kSubbands; ++sb) {
        double mask = toPower(quietDb[sb]);
        for (int j = 0; j < kSubbands; ++j) {
            const double dz = centreBark[sb] - centreBark[j];
            const double spread = dz >= 0 ? -kUpwardSlopeDb * dz : kDownwardSlopeDb * dz;
            mask += toPower(energyDb[j] - kMaskOffsetDb + spread);
        }
        smr[sb] = peakDb[sb] - 10.0 * std::log10(mask);
    }
    return smr;
}

} // namespace encoders::layer1
