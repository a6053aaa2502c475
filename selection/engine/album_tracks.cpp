#include "selection/engine/album_tracks.h"

#include "libs/cuesheet/cue_album.h"
#include "platform/paths.h"
#include "tools/encoders/core/audio_source.h"
#include "tools/encoders/core/encoder_error.h"

#include <QFileInfo>

#include <filesystem>
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

// The tracks that `album` cuts `file` into; the file itself when it cannot be read as audio.
std::vector<QueuedFile> cutTracks(const QueuedFile& file, const std::filesystem::path& path,
                                  const cuesheet::Album& album) {
    const auto length = sourceLength(path);
    if (!length)
        return {file};
    const auto cuts = cuesheet::cutFile(album.sheet, album.file, length->sampleRate, length->frames,
                                        path.filename().string());
    std::vector<QueuedFile> tracks;
    for (const cuesheet::TrackCut& cut : cuts) {
        QueuedFile track = file;
        const QString title = QString::fromStdString(cut.title);
        track.name = QStringLiteral("%1 [%2] %3").arg(file.name).arg(cut.number).arg(title);
        track.track = QueuedTrack{
            .number = cut.number,
            .sheet = platform::textFromBytes(QByteArray::fromStdString(album.sheetPath.string())),
            .title = title,
            .seconds = double(cut.end - cut.first) / length->sampleRate};
        tracks.push_back(std::move(track));
    }
    return tracks;
}

QString refusal(const QString& path, const cuesheet::CueError& error) {
    return QStringLiteral("%1: %2").arg(fileNameOf(path), platform::textFromBytes(error.what()));
}

// The source file that a sheet's FILE line names: the file itself, else the one of its stem
// among `sources`; empty when there is neither.
QString namedSource(const QString& folder, const std::string& named, const QStringList& sources) {
    const QString name = platform::textFromBytes(QByteArray::fromStdString(named));
    const QString path = platform::joinPath(folder, name);
    if (std::filesystem::exists(platform::toFsPath(path)))
        return path;
    const QString stem = QFileInfo(name).completeBaseName();
    for (const QString& source : sources) {
        if (QFileInfo(source).completeBaseName() == stem)
            return platform::joinPath(folder, source);
    }
    return {};
}

} // namespace

std::vector<QueuedFile> albumTracks(const QueuedFile& file, QStringList& refusals) {
    const std::filesystem::path path = platform::toFsPath(file.path);
    try {
        const auto album = cuesheet::findAlbum(path);
        return album ? cutTracks(file, path, *album) : std::vector{file};
    } catch (const cuesheet::CueError& error) {
        refusals.append(refusal(file.path, error) +
                        QStringLiteral("; the file is converted whole"));
        return {file};
    }
}

std::vector<QueuedFile> sheetTracks(const QString& sheetPath, const QStringList& sources,
                                    QStringList& refusals) {
    const std::filesystem::path sheetFs = platform::toFsPath(sheetPath);
    const QString folder = sheetPath.left(sheetPath.lastIndexOf(u'/'));
    QStringList files;
    try {
        for (const std::string& named : cuesheet::readSheet(sheetFs).files) {
            const QString source = namedSource(folder, named, sources);
            if (source.isEmpty())
                throw cuesheet::CueError("the cue sheet names '" + named + "', which is not there");
            if (!files.contains(source))
                files.append(source);
        }
    } catch (const cuesheet::CueError& error) {
        refusals.append(refusal(sheetPath, error));
        return {};
    }
    std::vector<QueuedFile> tracks;
    for (const QString& source : files) {
        const QueuedFile file{fileNameOf(source), source};
        std::vector<QueuedFile> cut{file};
        try {
            cut = cutTracks(file, platform::toFsPath(source),
                            cuesheet::albumOf(sheetFs, platform::toFsPath(source)));
        } catch (const cuesheet::CueError& error) {
            refusals.append(refusal(sheetPath, error) +
                            QStringLiteral("; '%1' is converted whole").arg(file.name));
        }
        tracks.insert(tracks.end(), cut.begin(), cut.end());
    }
    return tracks;
}

} // namespace selection
