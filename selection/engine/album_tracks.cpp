#include "selection/engine/album_tracks.h"

#include "libs/cuesheet/cue_album.h"
#include "platform/paths.h"
#include "platform/source_descriptor.h"
#include "tools/encoders/core/audio_file_view.h"
#include "tools/encoders/core/encoder_error.h"

#include <sndfile.h>

#include <memory>
#include <optional>

namespace selection {

namespace {

struct SourceLength {
    int sampleRate = 0;
    std::int64_t frames = 0;
};

// The source's length as the encoders read it; nothing when it cannot be read as audio (the
// batch then says why, for the whole file).
std::optional<SourceLength> sourceLength(const QString& path) {
    const int fd = platform::openSourceDescriptor(path);
    if (fd < 0)
        return std::nullopt;
    std::unique_ptr<encoders::AudioFileView> view;
    try {
        view = std::make_unique<encoders::AudioFileView>(fd);
    } catch (const encoders::EncoderError&) {
        return std::nullopt;
    }
    SF_INFO info{};
    const std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> sound(view->open(info), sf_close);
    if (!sound)
        return std::nullopt;
    if (info.samplerate <= 0 || info.frames <= 0)
        return std::nullopt;
    return SourceLength{info.samplerate, info.frames};
}

QString fileNameOf(const QString& path) {
    return path.mid(path.lastIndexOf(u'/') + 1);
}

} // namespace

std::vector<QueuedFile> albumTracks(const QueuedFile& file, QStringList& refusals) {
    const std::filesystem::path path = platform::toFsPath(file.path);
    try {
        const auto album = cuesheet::findAlbum(path);
        const auto length = album ? sourceLength(file.path) : std::nullopt;
        if (!length)
            return {file};
        const auto cuts = cuesheet::cutFile(album->sheet, album->file, length->sampleRate,
                                            length->frames, path.filename().string());
        std::vector<QueuedFile> tracks;
        for (const cuesheet::TrackCut& cut : cuts) {
            QueuedFile track = file;
            const QString title = QString::fromStdString(cut.title);
            track.name = QStringLiteral("%1 [%2] %3").arg(file.name).arg(cut.number).arg(title);
            track.track = QueuedTrack{.number = cut.number,
                                      .sheet = platform::textFromBytes(
                                          QByteArray::fromStdString(album->sheetPath.string())),
                                      .title = title,
                                      .seconds = double(cut.end - cut.first) / length->sampleRate};
            tracks.push_back(std::move(track));
        }
        return tracks;
    } catch (const cuesheet::CueError& error) {
        refusals.append(QStringLiteral("%1: %2; the file is converted whole")
                            .arg(fileNameOf(file.path), platform::textFromBytes(error.what())));
        return {file};
    }
}

} // namespace selection
