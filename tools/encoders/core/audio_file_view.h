#pragma once

#include "libs/durable_file/file_descriptor.h"
#include "tools/encoders/sources/source_bytes.h"

#include <sndfile.h>

#include <cstdint>
#include <string>
#include <vector>

namespace encoders {

// An input file as libsndfile reads it through virtual I/O. A WAVE file (RIFF, RIFX or RF64)
// is shown as a well-formed file of the same form holding only its "fmt " and "data" chunks:
// our own code checks the layout and reads the tags, and libsndfile's header parser can loop
// forever on repeated or malformed chunks. A FLAC file is shown with its picture blocks as
// padding. Other files are shown as they are.
class AudioFileView final : public SourceBytes {
public:
    // Takes over the open descriptor of a regular file. Throws EncoderError for a WAVE file
    // without exactly one "fmt " and one "data" chunk.
    explicit AudioFileView(int fd);
    AudioFileView(const AudioFileView&) = delete;
    AudioFileView& operator=(const AudioFileView&) = delete;

    // Opens the view with libsndfile; nullptr when it cannot read it.
    SNDFILE* open(SF_INFO& info);

    // The view's bytes from `offset` (fewer at its end, or where the file cannot be read), for
    // another library reading it.
    std::size_t readAt(std::uint64_t offset, char* buffer, std::size_t count) const override;
    std::uint64_t size() const override { return static_cast<std::uint64_t>(size_); }

private:
    // A stretch of the view: bytes of its own, or `length` bytes of the file from `fileOffset`.
    struct Piece {
        std::string bytes;
        std::uint64_t fileOffset = 0;
        std::uint64_t length = 0;
    };

    static sf_count_t length(void* self);
    static sf_count_t seek(sf_count_t offset, int whence, void* self);
    static sf_count_t read(void* buffer, sf_count_t count, void* self);
    static sf_count_t tell(void* self);
    void layOutWave();
    void layOutOther();
    std::size_t readFile(std::uint64_t offset, char* buffer, std::size_t count) const;

    durable::FileDescriptor fd_;
    std::uint64_t fileSize_ = 0;
    std::vector<Piece> pieces_;
    sf_count_t size_ = 0;
    sf_count_t position_ = 0;
};

} // namespace encoders
