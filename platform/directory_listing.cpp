#include "platform/directory_listing.h"

#include <QDir>

#include <algorithm>

namespace platform {

namespace {

// Names in the order a user expects: letter case ignored, ties broken by the exact text.
void sortNames(QStringList& names) {
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int folded = a.compare(b, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a < b;
    });
}

} // namespace

QStringList subdirectories(const QString& directory) {
    QDir dir(directory);
    QStringList names =
        dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Readable | QDir::Executable);
    sortNames(names);
    return names;
}

QStringList filesMatching(const QString& directory, const QString& mask) {
    QDir dir(directory);
    dir.setNameFilters(mask.split(QLatin1Char(' '), Qt::SkipEmptyParts));
    QStringList names = dir.entryList(QDir::Files | QDir::Readable);
    sortNames(names);
    return names;
}

} // namespace platform
