#include "selection/engine/queue_paths.h"

#include "selection/engine/album_tracks.h"

#include "platform/directory_listing.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/working_directory.h"

#include <QDir>
#include <QHash>
#include <QSet>

namespace selection {

namespace {

// The absolute, cleaned path, made from the text alone: QFileInfo goes through the native
// spelling, which loses the bytes of a name that is not UTF-8.
QString absoluteClean(const QString& given) {
    return QDir::cleanPath(given.startsWith(u'/') ? given
                                                  : platform::currentDirectory() + u'/' + given);
}

} // namespace

PathsToQueue filesToQueue(const QStringList& paths, const QString& mask) {
    QHash<QString, QStringList> listed;
    auto listing = [&](const QString& folder) -> const QStringList& {
        auto known = listed.find(folder);
        if (known == listed.end())
            known = listed.insert(folder, platform::filesMatching(folder, mask));
        return *known;
    };
    PathsToQueue found;
    // The tracks that sheets given by name bring, by where they go in the queue: a file that
    // is also given itself, or by another sheet, comes once.
    std::vector<std::pair<std::size_t, std::vector<QueuedFile>>> sheets;
    for (const QString& given : paths) {
        const QString path = absoluteClean(given);
        if (platform::isFolder(path)) {
            platform::FolderTree tree = platform::filesInTree(path, mask);
            for (platform::TreeFile& file : tree.files) {
                const QString name = file.path.mid(file.path.lastIndexOf(u'/') + 1);
                found.files.push_back({.name = file.relativeFolder.isEmpty()
                                                   ? name
                                                   : file.relativeFolder + u'/' + name,
                                       .path = std::move(file.path),
                                       .relativeFolder = std::move(file.relativeFolder)});
            }
            found.unreadable.insert(found.unreadable.end(), tree.unreadable.begin(),
                                    tree.unreadable.end());
            continue;
        }
        const qsizetype slash = path.lastIndexOf(u'/');
        const QString folder = slash > 0 ? path.left(slash) : QStringLiteral("/");
        const QString name = path.mid(slash + 1);
        if (mask == kEncodeMask && name.endsWith(QStringLiteral(".cue"), Qt::CaseInsensitive) &&
            platform::fileExists(path)) {
            sheets.emplace_back(found.files.size(),
                                sheetTracks(path, listing(folder), found.refusedSheets));
            continue;
        }
        if (listing(folder).contains(name))
            found.files.push_back({name, path});
    }
    if (mask == kEncodeMask) {
        QSet<QString> queued;
        for (const QueuedFile& file : found.files)
            queued.insert(file.path);
        std::vector<QueuedFile> files;
        auto sheet = sheets.begin();
        const auto takeSheets = [&](std::size_t before) {
            for (; sheet != sheets.end() && sheet->first == before; ++sheet) {
                QSet<QString> brought;
                for (QueuedFile& track : sheet->second) {
                    if (!queued.contains(track.path)) {
                        brought.insert(track.path);
                        files.push_back(std::move(track));
                    }
                }
                queued.unite(brought);
            }
        };
        for (std::size_t i = 0; i < found.files.size(); ++i) {
            takeSheets(i);
            for (QueuedFile& track : albumTracks(found.files[i], found.refusedSheets))
                files.push_back(std::move(track));
        }
        takeSheets(found.files.size());
        found.files = std::move(files);
    }
    return found;
}

} // namespace selection
