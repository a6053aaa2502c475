#include "platform/volumes.h"

#include "platform/paths.h"

#include <QStorageInfo>

#include <algorithm>

namespace platform {

namespace {

// Kernel and device trees hold no user files; their mounts would only clutter the drive box.
bool isSystemTree(const QString& mountPoint) {
    static const QStringList trees = {"/proc", "/sys", "/dev", "/run"};
    return std::any_of(trees.begin(), trees.end(), [&](const QString& tree) {
        return mountPoint == tree || mountPoint.startsWith(tree + "/");
    });
}

bool isRealFileSystem(const QStorageInfo& volume) {
    static const QList<QByteArray> pseudo = {
        "proc",   "sysfs",     "devpts",      "cgroup",     "cgroup2", "securityfs",
        "pstore", "debugfs",   "tracefs",     "configfs",   "fusectl", "mqueue",
        "bpf",    "hugetlbfs", "binfmt_misc", "rpc_pipefs", "nsfs",    "devtmpfs",
        "autofs", "efivarfs",  "squashfs",    "overlay"};
    return volume.isValid() && volume.isReady() && !isSystemTree(volume.rootPath()) &&
           !pseudo.contains(volume.fileSystemType());
}

bool isUnder(const QString& path, const QString& mountPoint) {
    if (mountPoint == separator())
        return path.startsWith(separator());
    return path == mountPoint || path.startsWith(withSeparator(mountPoint));
}

} // namespace

QStringList mountedVolumes() {
    QStringList result;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        const QString mountPoint = volume.rootPath();
        if (mountPoint == separator() || isRealFileSystem(volume))
            result.append(mountPoint);
    }
    result.removeDuplicates();
    result.removeAll(separator());
    std::sort(result.begin(), result.end());
    result.prepend(separator());
    return result;
}

QString volumeOf(const QString& path, const QStringList& volumes) {
    QString best = separator();
    for (const QString& mountPoint : volumes) {
        if (isUnder(path, mountPoint) && mountPoint.size() > best.size())
            best = mountPoint;
    }
    return best;
}

} // namespace platform
