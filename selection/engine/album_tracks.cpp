#include "selection/engine/album_tracks.h"

#include "libs/cuesheet/cue_album.h"
#include "platform/paths.h"
#include "tools/encoders/core/audio_source.h"
#include "tools/encoders/core/encoder_error.h"

#include <optional>

namespace selection {

namespace {

struct SourceLength {
    int sampleRate = 0;
    std::int64_t frames = 0;
};

// The source's length as the encoder programs read it, so that the tracks are cut where the
// programs cut them; nothing when it cannot be read as audio (the batch then says why, for
// the whole file).
std::optional<SourceLength> sourceLength(const std::filesystem::path& path) {
    try {
        const encoders::AudioSource source(path);
        if (!source.frames() || *source.frames() <= 0)
            return std::nullopt;
        return SourceLength{source.sampleRate(), *source.frames()};
    } catch (const encoders::EncoderError&) {
        return std::nullopt;
    }
}

QString fileNameOf(const QString& path) {
    return path.mid(path.lastIndexOf(u'/') + 1);
}

} // namespace

std::vector<QueuedFile> albumTracks(const QueuedFile& file, QStringList& refusals) {
    const std::filesystem::path path = platform::toFsPath(file.path);
    try {
        const auto album = cuesheet::findAlbum(path);
        const auto length = album ? sourceLength(path) : std::nullopt;
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
