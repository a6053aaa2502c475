#include "selection/queue_paths.h"

#include "platform/directory_listing.h"
#include "platform/file_system.h"
#include "platform/paths.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

namespace selection {

std::vector<QueuedFile> filesToQueue(const QStringList& paths, const QString& mask) {
    QHash<QString, QStringList> listed;
    auto listing = [&](const QString& folder) -> const QStringList& {
        auto known = listed.find(folder);
        if (known == listed.end())
            known = listed.insert(folder, platform::filesMatching(folder, mask));
        return *known;
    };
    std::vector<QueuedFile> found;
    for (const QString& given : paths) {
        const QString path = QDir::cleanPath(QFileInfo(given).absoluteFilePath());
        if (platform::isReadableDirectory(path)) {
            for (const QString& name : listing(path))
                found.push_back({name, platform::joinPath(path, name)});
            continue;
        }
        const QFileInfo file(path);
        if (listing(file.absolutePath()).contains(file.fileName()))
            found.push_back({file.fileName(), path});
    }
    return found;
}

} // namespace selection
