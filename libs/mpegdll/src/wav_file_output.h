#pragma once

#include <sndfile.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mpegdll {

// A 16-bit PCM WAV file written through libsndfile. Closing it (finish or the destructor)
// writes the final header, so a file stopped half-way is still valid.
class WavFileOutput {
public:
    // Creates or overwrites the file; throws LibraryError(MPEGDLL_ERR_OUTPUT) when it cannot.
    WavFileOutput(const std::string& path, int rate, int channels);
    ~WavFileOutput();

    WavFileOutput(const WavFileOutput&) = delete;
    WavFileOutput& operator=(const WavFileOutput&) = delete;

    // Appends interleaved samples; false when the file cannot be written.
    bool write(const std::int16_t* samples, std::size_t frames);
    // Writes what is buffered and closes the file; false when that failed.
    bool finish();

private:
    bool flush();

    SNDFILE* file_ = nullptr;
    int channels_;
    bool failed_ = false;
    // Collects several MPEG frames per write call.
    std::vector<std::int16_t> buffer_;
};

} // namespace mpegdll
