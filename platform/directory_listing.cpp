#include "platform/directory_listing.h"

#include "platform/paths.h"

#include <QDir>
#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include <unistd.h>

namespace platform {

namespace {

// The names of the entries that are not hidden and that `keep` takes, sorted. The listing goes
// through the byte-exact paths, so a folder whose name is not UTF-8 lists as any other.
template <typename Keep> QStringList namesIn(const QString& directory, Keep keep) {
    QStringList names;
    std::error_code error;
    std::filesystem::directory_iterator entry(toFsPath(directory), error);
    for (; !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
        const QString name = fromFsPath(entry->path().filename());
        std::error_code typeError;
        if (!name.startsWith(u'.') && keep(*entry, name, typeError) && !typeError)
            names.append(name);
    }
    sortNames(names);
    return names;
}

bool accessible(const std::filesystem::path& path, int mode) {
    return ::access(path.c_str(), mode) == 0;
}

} // namespace

void sortNames(QStringList& names) {
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int folded = a.compare(b, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a < b;
    });
}

bool nameMatches(const QString& mask, const QString& name) {
    QString matchable = name;
    // A byte that is not UTF-8 reads as a lone surrogate (see textFromBytes), which the pattern
    // matcher refuses as a whole; it stands for any character a pattern does not name.
    for (QChar& unit : matchable) {
        if (unit.isSurrogate())
            unit = QChar::ReplacementCharacter;
    }
    // QDir::match would compile the mask's patterns for every name, which costs far more than
    // matching them: a listing asks about every name of a folder with one mask.
    thread_local QHash<QString, QList<QRegularExpression>> compiled;
    auto patterns = compiled.constFind(mask);
    if (patterns == compiled.constEnd()) {
        if (compiled.size() > 64)
            compiled.clear();
        QList<QRegularExpression> made;
        for (const QString& pattern : QDir::nameFiltersFromString(mask))
            made.append(QRegularExpression::fromWildcard(pattern, Qt::CaseInsensitive));
        patterns = compiled.insert(mask, made);
    }
    return std::any_of(patterns->begin(), patterns->end(), [&](const QRegularExpression& rx) {
        return rx.match(matchable).hasMatch();
    });
}

QStringList subdirectories(const QString& directory) {
    return namesIn(directory, [](const auto& entry, const QString&, std::error_code& error) {
        return entry.is_directory(error) && accessible(entry.path(), R_OK | X_OK);
    });
}

QStringList filesMatching(const QString& directory, const QString& mask) {
    return namesIn(directory, [&](const auto& entry, const QString& name, std::error_code& error) {
        return entry.is_regular_file(error) && nameMatches(mask, name) &&
               accessible(entry.path(), R_OK);
    });
}

} // namespace platform
