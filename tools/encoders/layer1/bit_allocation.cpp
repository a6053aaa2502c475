#include "tools/encoders/layer1/bit_allocation.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace encoders::layer1 {

namespace {

struct Unit {
    int subband;
    int channel; // -1 for a subband shared by both channels
    double smrDb;
    int allocation = 0;
};

int stepCost(const Unit& unit) {
    if (unit.allocation > 0) {
        return kSamplesPerSubband; // one more bit per sample
    }
    const int scaleFactors = unit.channel < 0 ? 2 : 1;
    return scaleFactors * kScaleFactorBits + kSamplesPerSubband * 2;
}

} // namespace

double allocationSnrDb(int allocation) {
    if (allocation <= 0) {
        return 0.0;
    }
    const double levels = std::ldexp(1.0, allocation + 1) - 1.0;
    return 20.0 * std::log10(levels) - 2.5;
}

AllocationResult allocateBits(const AllocationRequest& request) {
    std::vector<Unit> units;
    for (int sb = 0; sb < kSubbands; ++sb) {
        if (sb < request.bound || request.channels == 1) {
            for (int ch = 0; ch < request.channels; ++ch) {
                if (request.audible[ch][sb]) {
                    units.push_back({sb, ch, request.smrDb[ch][sb]});
                }
            }
        } else if (request.audible[0][sb] || request.audible[1][sb]) {
            units.push_back({sb, -1, std::max(request.smrDb[0][sb], request.smrDb[1][sb])});
        }
    }
    int bits = request.bits;
    for (;;) {
        Unit* neediest = nullptr;
        double lowestMnr = std::numeric_limits<double>::infinity();
        for (Unit& unit : units) {
            if (unit.allocation >= kMaxAllocation || stepCost(unit) > bits) {
                continue;
            }
            const double mnr = allocationSnrDb(unit.allocation) - unit.smrDb;
            if (mnr < lowestMnr) {
                lowestMnr = mnr;
                neediest = &unit;
            }
        }
        if (neediest == nullptr) {
            break;
        }
        bits -= stepCost(*neediest);
        ++neediest->allocation;
    }
    AllocationResult result;
    result.worstMnrDb = std::numeric_limits<double>::infinity();
    for (const Unit& unit : units) {
        if (unit.channel < 0) {
            result.allocation[0][unit.subband] = unit.allocation;
            result.allocation[1][unit.subband] = unit.allocation;
        } else {
            result.allocation[unit.channel][unit.subband] = unit.allocation;
        }
        if (unit.smrDb > 0) {
            result.worstMnrDb =
                std::min(result.worstMnrDb, allocationSnrDb(unit.allocation) - unit.smrDb);
        }
    }
    return result;
}

} // namespace encoders::layer1
