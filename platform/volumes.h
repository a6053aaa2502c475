#pragma once

#include <QString>
#include <QStringList>

// The mounted file systems, which take the place of drives.
namespace platform {

// Mount points of the real file systems, the root first, then in name order.
QStringList mountedVolumes();

// The volume that holds a path: the mount point with the longest matching prefix, "/" when
// none matches.
QString volumeOf(const QString& path, const QStringList& volumes);

} // namespace platform
