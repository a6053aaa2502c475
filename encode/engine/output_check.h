#pragma once

#include <QString>

#include <optional>

// Checks that an encoder's output really holds its source's audio, before the source may go.
namespace encode {

struct WavFacts {
    double seconds = 0; // the audio the file holds
    // The length its WAV, AIFF or AIFC header declares: more than `seconds` when the file was
    // cut short or is still being written; else the same.
    double declaredSeconds = 0;
    bool shortOfHeader = false;
    // The data chunk declares much less audio than the file holds after it: a recording whose
    // header was never finished. Only what it declares gets encoded.
    bool truncatedHeader = false;
};

// What the source holds, or nothing when it cannot be read as audio. It is read the way the
// encoder programs read it (encoders::AudioFileView), so a file they refuse is refused here at
// once, and a FIFO is never waited on.
std::optional<WavFacts> readWavFacts(const QString& path);

struct MpegFacts {
    double seconds = 0;      // gapless: encoder delay and padding removed where the file says
    double frameSeconds = 0; // the length of one frame
};

// The decoded length of an MPEG audio file, or nothing when it holds no MPEG audio.
std::optional<MpegFacts> readMpegFacts(const QString& path);

// Empty when the output holds the whole source (or the track of it that lasts `trackSeconds`);
// otherwise why it doesn't, for the user.
QString confirmEncoded(const QString& source, const QString& output,
                       std::optional<double> trackSeconds = std::nullopt);

} // namespace encode
