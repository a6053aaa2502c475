#pragma once

#include "libs/mpegdll/src/atomic_file.h"
#include "libs/mpegdll/src/stream_tags.h"

#include <sndfile.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mpegdll {

// A 16-bit PCM WAV file written through libsndfile as a temporary file beside its target.
// finish writes the final header and puts the file in place, so a file stopped half-way is
// still valid; until then an existing target stays as it was.
class WavFileOutput {
public:
    // Starts the file, with `tags` in its LIST/INFO chunk; throws
    // LibraryError(MPEGDLL_ERR_OUTPUT) when it cannot.
    WavFileOutput(const std::string& path, int rate, int channels, const StreamTags& tags = {});
    // Discards a file that was not finished.
    ~WavFileOutput();

    WavFileOutput(const WavFileOutput&) = delete;
    WavFileOutput& operator=(const WavFileOutput&) = delete;

    // Appends interleaved samples; false when the file cannot be written.
    bool write(const std::int16_t* samples, std::size_t frames);
    // Writes what is buffered, closes the file and renames it onto the target (with
    // `replace` false, only where the target does not exist); false (and nothing left behind)
    // when that failed.
    bool finish(bool replace = true);
    // Drops what was written; the target stays as it was.
    void discard();

private:
    bool flush();
    bool writeFile(const std::int16_t* samples, std::size_t frames);

    AtomicFile target_;
    SNDFILE* file_ = nullptr;
    int channels_;
    bool failed_ = false;
    std::int64_t written_ = 0;     // bytes of samples written
    std::int64_t writtenBack_ = 0; // of those, handed to the disk's write-back

    // Collects several MPEG frames per write call.
    std::vector<std::int16_t> buffer_;
};

} // namespace mpegdll
