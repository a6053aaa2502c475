#include "sync/engine/source_tree.h"

#include "platform/folder_tree.h"
#include "platform/paths.h"

#include <QStringList>

#include <algorithm>

namespace mirror {

namespace {

bool within(const QString& path, const QString& folder) {
    return path == folder || path.startsWith(platform::withSeparator(folder));
}

} // namespace

SourceTree walkSources(const QString& top, const QString& destination,
                       const std::function<void(const QString&)>& warn) {
    const platform::FolderTree tree = platform::filesInTree(top, syncMask());
    for (const auto& folder : tree.unreadable)
        warn(QStringLiteral("the folder %1 is skipped: %2").arg(folder.path, folder.reason));
    std::map<QString, bool> inDestination; // by relative folder
    QStringList told;
    SourceTree files;
    for (const auto& file : tree.files) {
        auto [known, added] = inDestination.try_emplace(file.relativeFolder, false);
        if (added) {
            const QString folder = file.path.left(file.path.lastIndexOf(u'/'));
            known->second = within(platform::realPath(folder), destination);
            const auto below = [&](const QString& t) {
                return within(folder, t);
            };
            if (known->second && std::none_of(told.begin(), told.end(), below)) {
                warn(QStringLiteral("the folder %1 is skipped: it lies inside DEST").arg(folder));
                told.append(folder);
            }
        }
        if (known->second)
            continue;
        const auto facts = platform::regularFileFacts(file.path);
        if (!facts)
            continue;
        const QString name = file.path.mid(file.path.lastIndexOf(u'/') + 1);
        const QString relative =
            file.relativeFolder.isEmpty() ? name : file.relativeFolder + u'/' + name;
        if (isCueSheet(name))
            files.sheets[relative] = {facts->size, facts->modifiedNs};
        else
            files.sources.push_back({.relative = relative,
                                     .relativeFolder = file.relativeFolder,
                                     .path = file.path,
                                     .facts = *facts});
    }
    return files;
}

} // namespace mirror
