#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// Which files the encoders take, which library reads each kind, and how an output is named
// after one.
namespace encoders {

// The library that decodes a kind of source.
enum class SourceLibrary {
    Sndfile, // libsndfile, through the guarded view of the file
    Ffmpeg,  // FFmpeg's libavformat and libavcodec
};

struct SourceKind {
    std::string_view extension; // lower case, without the dot
    std::string_view name;      // as texts for users name it
    SourceLibrary library;
};

// Every kind of source, once. libsndfile keeps WAV, FLAC, AIFF and Ogg Vorbis, which it reads
// for as little CPU as FFmpeg or less (bench/source_kinds_benchmark.sh); Opus and the rest go
// to FFmpeg. The extension only puts a file on the lists: which library reads a file is
// decided by its content (sourceLibraryFor).
inline constexpr std::array kSourceKinds = {
    SourceKind{"wav", "WAV", SourceLibrary::Sndfile},
    SourceKind{"flac", "FLAC", SourceLibrary::Sndfile},
    SourceKind{"aif", "AIFF", SourceLibrary::Sndfile},
    SourceKind{"aiff", "AIFF", SourceLibrary::Sndfile},
    SourceKind{"aifc", "AIFF", SourceLibrary::Sndfile},
    SourceKind{"ogg", "Ogg Vorbis", SourceLibrary::Sndfile},
    SourceKind{"oga", "Ogg Vorbis", SourceLibrary::Sndfile},
    SourceKind{"opus", "Opus", SourceLibrary::Ffmpeg},
    SourceKind{"m4a", "M4A", SourceLibrary::Ffmpeg},
    SourceKind{"m4b", "M4A", SourceLibrary::Ffmpeg},
    SourceKind{"mp4", "MP4", SourceLibrary::Ffmpeg},
    SourceKind{"wma", "WMA", SourceLibrary::Ffmpeg},
    SourceKind{"ape", "APE", SourceLibrary::Ffmpeg},
    SourceKind{"wv", "WavPack", SourceLibrary::Ffmpeg},
    SourceKind{"tta", "TTA", SourceLibrary::Ffmpeg},
    SourceKind{"dsf", "DSD", SourceLibrary::Ffmpeg},
    SourceKind{"dff", "DSD", SourceLibrary::Ffmpeg},
    SourceKind{"mka", "Matroska", SourceLibrary::Ffmpeg},
    SourceKind{"mkv", "Matroska", SourceLibrary::Ffmpeg},
    SourceKind{"webm", "WebM", SourceLibrary::Ffmpeg},
    SourceKind{"mov", "MOV", SourceLibrary::Ffmpeg},
};

namespace detail {

constexpr std::size_t maskLength() {
    std::size_t length = 0;
    for (const SourceKind& kind : kSourceKinds) {
        length += kind.extension.size() + 3; // "*." and a space (or the end)
    }
    return length - 1;
}

inline constexpr auto kMaskText = [] {
    std::array<char, maskLength()> text{};
    std::size_t at = 0;
    for (const SourceKind& kind : kSourceKinds) {
        if (at != 0) {
            text[at++] = ' ';
        }
        text[at++] = '*';
        text[at++] = '.';
        for (char c : kind.extension) {
            text[at++] = c;
        }
    }
    return text;
}();

} // namespace detail

// The file mask of the sources, as a file list matches it (letter case ignored).
inline constexpr std::string_view kSourceMask(detail::kMaskText.data(), detail::kMaskText.size());

// The kinds' names for a text that lists them: "WAV, FLAC, AIFF, ... or MOV".
std::string sourceKindNames();

// Which library reads a file, by its content (`bytesAt(offset, size)` gives the file's bytes,
// fewer at its end): libsndfile for the WAVE, AIFF, FLAC and Ogg Vorbis forms, FFmpeg for the
// rest.
SourceLibrary
sourceLibraryFor(const std::function<std::string(std::uint64_t offset, std::size_t size)>& bytesAt);

// How many characters at the end of a source's name give way to the output's suffix ("mp3" or
// "MP3"): the three of a WAV's extension, as always; the whole extension, whatever its length,
// of another source kind the mask names (song.flac gives song.mp3); three for any other name.
std::size_t replacedNameEnd(std::string_view name);

} // namespace encoders
