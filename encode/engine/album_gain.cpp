#include "encode/engine/album_gain.h"

#include "encode/engine/encode_driver.h"

#include "libs/durable_file/new_file.h"
#include "tools/encoders/core/id3_frames.h"

#include <algorithm>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace encode {

namespace {

std::vector<unsigned char> readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> bytes(std::filesystem::file_size(path));
    if (!in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size())))
        throw std::runtime_error("cannot read '" + path.string() + "'");
    return bytes;
}

} // namespace

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
    next.commit(mp3, durable::Placement::Replace, durable::FolderSync::ByCaller);
}

void failForAlbumGain(std::vector<EncodeFileResult>& files, const QString& output,
                      const QString& why, EncodeProgress& progress) {
    for (EncodeFileResult& file : files) {
        if (file.output != output || file.outcome != selection::FileOutcome::Done)
            continue;
        file.outcome = selection::FileOutcome::Failed;
        file.reason = QStringLiteral("its MP3 holds its audio, but the album gain could not be "
                                     "written into it: ") +
                      why;
        progress.fileDone(file);
        return;
    }
}

} // namespace encode
