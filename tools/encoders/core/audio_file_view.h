#pragma once

#include <sndfile.h>

#include <cstdint>
#include <vector>

namespace encoders {

// An input file as libsndfile reads it through virtual I/O. In a RIFF/WAVE file every
// top-level chunk but "fmt ", "fact" and "data" reads as a "JUNK" chunk: our own code reads
// the tags, and libsndfile's parsers of metadata chunks can loop forever on malformed ones.
class AudioFileView {
public:
    // Takes over the open descriptor of a regular file.
    explicit AudioFileView(int fd);
    ~AudioFileView();
    AudioFileView(const AudioFileView&) = delete;
    AudioFileView& operator=(const AudioFileView&) = delete;

    // Opens the view with libsndfile; nullptr when it cannot read it.
    SNDFILE* open(SF_INFO& info);

private:
    static sf_count_t length(void* self);
    static sf_count_t seek(sf_count_t offset, int whence, void* self);
    static sf_count_t read(void* buffer, sf_count_t count, void* self);
    static sf_count_t tell(void* self);
    std::size_t readAt(std::uint64_t offset, char* buffer, std::size_t count) const;

    int fd_;
    sf_count_t size_ = 0;
    sf_count_t position_ = 0;
    std::vector<std::uint64_t> hidden_; // where the ids of hidden chunks start
};

} // namespace encoders
