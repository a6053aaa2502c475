#include "selection/engine/queue_paths.h"

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
        const QString path = absoluteClean(given);
        if (platform::isReadableDirectory(path)) {
            for (const QString& name : listing(path))
                found.push_back({name, platform::joinPath(path, name)});
            continue;
        }
        const qsizetype slash = path.lastIndexOf(u'/');
        const QString folder = slash > 0 ? path.left(slash) : QStringLiteral("/");
        const QString name = path.mid(slash + 1);
        if (listing(folder).contains(name))
            found.push_back({name, path});
    }
    return found;
}

} // namespace selection
