#pragma once

#include "tools/encoders/core/encode_request.h"

#include <iosfwd>

namespace encoders {

// Encodes the request's input into its output. Short progress lines go to `progress`, notes
// about settings that had to change (a bitrate the format does not allow, say) to `notes`,
// flushed once the run is set up.
// Throws EncoderError on failure, leaving no output file behind.
void runEncode(const EncodeRequest& request, std::ostream& progress, std::ostream& notes);

} // namespace encoders
