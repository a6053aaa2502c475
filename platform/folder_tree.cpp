#include "platform/folder_tree.h"

#include "platform/directory_listing.h"
#include "platform/paths.h"

#include <QStringList>

#include <filesystem>
#include <set>
#include <system_error>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

class TreeWalk {
public:
    explicit TreeWalk(const QString& mask) : mask_(mask) {}

    void visit(const QString& folder, const QString& relative) {
        struct stat info {};
        if (::stat(toFsPath(folder).c_str(), &info) != 0 ||
            !visited_.insert({info.st_dev, info.st_ino}).second)
            return;
        QStringList files;
        QStringList folders;
        if (const std::error_code error = list(folder, files, folders)) {
            tree_.unreadable.push_back({folder, QString::fromLocal8Bit(error.message())});
            return;
        }
        for (const QString& name : files)
            tree_.files.push_back({joinPath(folder, name), relative});
        for (const QString& name : folders)
            visit(joinPath(folder, name), relative.isEmpty() ? name : relative + u'/' + name);
    }

    FolderTree take() { return std::move(tree_); }

private:
    // The folder's files that the mask takes and its sub-folders, each sorted; the error that
    // kept the folder from being listed, if one did.
    std::error_code list(const QString& folder, QStringList& files, QStringList& folders) const {
        std::error_code error;
        std::filesystem::directory_iterator entry(toFsPath(folder), error);
        for (; !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
            const QString name = fromFsPath(entry->path().filename());
            if (name.startsWith(u'.'))
                continue;
            // Both follow a symbolic link; one that leads nowhere is neither.
            std::error_code typeError;
            if (entry->is_directory(typeError))
                folders.append(name);
            else if (entry->is_regular_file(typeError) && nameMatches(mask_, name) &&
                     ::access(entry->path().c_str(), R_OK) == 0)
                files.append(name);
        }
        sortNames(files);
        sortNames(folders);
        return error;
    }

    QString mask_;
    std::set<std::pair<dev_t, ino_t>> visited_;
    FolderTree tree_;
};

} // namespace

bool isFolder(const QString& path) {
    std::error_code error;
    return std::filesystem::is_directory(toFsPath(path), error);
}

FolderTree filesInTree(const QString& top, const QString& mask) {
    TreeWalk walk(mask);
    walk.visit(top, QString());
    return walk.take();
}

} // namespace platform
