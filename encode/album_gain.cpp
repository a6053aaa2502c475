#include "encode/album_gain.h"

#include "libs/durable_file/new_file.h"
#include "tools/encoders/core/id3_frames.h"

#include <sndfile.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

namespace encode {

namespace {

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};

std::vector<unsigned char> readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> bytes(std::filesystem::file_size(path));
    if (!in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size())))
        throw std::runtime_error("cannot read '" + path.string() + "'");
    return bytes;
}

} // namespace

encoders::LoudnessMeter measureSource(const std::filesystem::path& source) {
    SF_INFO info{};
    const std::unique_ptr<SNDFILE, SndfileCloser> file(sf_open(source.c_str(), SFM_READ, &info));
    if (!file)
        throw std::runtime_error("cannot read '" + source.string() + "': " + sf_strerror(nullptr));
    encoders::LoudnessMeter meter(info.channels, info.samplerate);
    std::vector<float> block(8192 * static_cast<std::size_t>(info.channels));
    for (;;) {
        const sf_count_t frames = sf_readf_float(file.get(), block.data(), 8192);
        if (frames <= 0)
            break;
        const auto samples = std::span<float>(block).first(static_cast<std::size_t>(frames) *
                                                           static_cast<std::size_t>(info.channels));
        // As the encoders read it: clipped to full scale.
        for (float& s : samples)
            s = std::clamp(s, -1.0f, 1.0f);
        meter.add(samples);
    }
    if (sf_error(file.get()) != SF_ERR_NO_ERROR)
        throw std::runtime_error("reading '" + source.string() +
                                 "' failed: " + sf_strerror(file.get()));
    return meter;
}

void writeAlbumGain(const std::filesystem::path& mp3, const encoders::ReplayGain& album) {
    const auto permissions = std::filesystem::status(mp3).permissions();
    std::vector<unsigned char> bytes = readAll(mp3);
    const std::size_t size = encoders::tagSize(bytes);
    if (size == 0 || size > bytes.size())
        throw std::runtime_error("'" + mp3.string() + "' has no ID3v2 tag to hold the album gain");
    const auto tag = encoders::withUserTexts(std::span(bytes).first(size),
                                             encoders::replayGainTexts("ALBUM", album));
    std::copy(tag.begin(), tag.end(), bytes.begin());
    // Whole or not at all, and durable: synced beside it, renamed into place, folder synced.
    const auto folder = mp3.parent_path();
    durable::NewFile next(folder.empty() ? std::filesystem::path(".") : folder);
    next.setMode(static_cast<unsigned>(permissions) & 07777);
    next.write(bytes.data(), bytes.size());
    next.commit(mp3, durable::Placement::Replace);
}

} // namespace encode
