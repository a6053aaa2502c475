#pragma once

#include "tools/encoders/core/encode_request.h"

#include <string>
#include <vector>

// The command lines of the three encoder programs. Each parser takes the arguments after the
// program name, throws UsageError for a line it cannot use and ignores switches it does not
// know (callers repeat some, such as -PRIO=HIGHEST).
namespace encoders {

// in.wav out.mp3 -M<0..3> -B<n> [-L1|-L2|-L3] [-RV<0..9>|-RA<8..320>]
// -M0 stereo, -M1 joint stereo, -M2 dual channel, -M3 mono (stereo when absent); -B n asks
// for a total of 2n kbit/s (required); no -L switch or -L3 means Layer III. Layer III only:
// -RV q codes LAME's variable bitrate at quality q, -RA n an average of n kbit/s, in place of
// the constant bitrate of -B.
EncodeRequest parseHouseArguments(const std::vector<std::string>& args);

// in.wav [-MONO] -<kbps> [-QUIT] [-PRIO=...]...
// Layer III at the bitrate (128 kbit/s when none is given), mono with -MONO; the output lies
// beside the input (see bladeencOutputPath) and never replaces a file there.
EncodeRequest parseBladeencArguments(const std::vector<std::string>& args);

// in.wav out.mp3 -b <kbps> [-z] [-dm]
// Layer III at the bitrate (128 kbit/s when -b is absent); -z asks for LAME's best quality,
// -dm mixes the input down to mono.
EncodeRequest parsePluggerArguments(const std::vector<std::string>& args);

// The input path less its last three characters, followed by "MP3": song.wav gives song.MP3;
// another source kind loses its whole extension: song.flac gives song.MP3.
std::string bladeencOutputPath(const std::string& input);

} // namespace encoders
