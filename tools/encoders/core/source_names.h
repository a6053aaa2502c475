#pragma once

#include <string>
#include <string_view>

// Which files the encoders take, and how an output is named after one.
namespace encoders {

// The file mask of the sources, as a file list matches it (letter case ignored).
inline constexpr std::string_view kSourceMask =
    "*.wav *.flac *.aif *.aiff *.aifc *.ogg *.oga *.opus";

// How many characters at the end of a source's name give way to the output's suffix ("mp3" or
// "MP3"): the three of a WAV's extension, as always; the whole extension, whatever its length,
// of another source kind the mask names (song.flac gives song.mp3); three for any other name.
std::size_t replacedNameEnd(std::string_view name);

} // namespace encoders
