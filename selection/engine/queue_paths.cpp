#include "selection/engine/queue_paths.h"

#include "selection/engine/album_tracks.h"

#include "platform/directory_listing.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/working_directory.h"

#include <QDir>
#include <QHash>

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
        if (listing(folder).contains(name))
            found.files.push_back({name, path});
    }
    if (mask == kEncodeMask) {
        std::vector<QueuedFile> files;
        for (const QueuedFile& file : found.files) {
            for (QueuedFile& track : albumTracks(file, found.refusedSheets))
                files.push_back(std::move(track));
        }
        found.files = std::move(files);
    }
    return found;
}

} // namespace selection
