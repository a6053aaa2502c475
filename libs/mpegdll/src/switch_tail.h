#pragma once

#include <cstdint>
#include <vector>

namespace mpegdll {

// libmpg123 starts parts of its filterbanks afresh where a stream changes between mono and
// stereo, so the first frame after the change lacks part of what the frames before it still
// contribute (the hybrid filterbank's overlap and the synthesis filterbank's history fade out
// over about one frame). Both filterbanks are linear, so that contribution is what a decoder
// that went on in the old layout gives for silent frames after the last frame before the
// change (`continued`); what libmpg123 keeps of it is what it gives for silent frames in the
// new layout there (`kept`). The difference, added to the new frames' output, makes the change
// as seamless as the rest of the stream.
struct SwitchTail {
    std::vector<std::int16_t> continued; // two frames, interleaved, in the old layout
    std::vector<std::int16_t> kept;      // two frames, interleaved, in the new layout
};

// `frames` holds the last frames before the change, whole and back to back, all in one
// layout (a few suffice: the state depends on the last two and the bit reservoir they use).
// Both parts empty when they cannot be made (free format, frames that do not decode).
SwitchTail switchTail(const std::vector<unsigned char>& frames, int newChannels);

} // namespace mpegdll
