#include "app/engine/output_directory.h"

#include "platform/paths.h"

namespace app {

QString initialOutputDirectory() {
    return platform::homeDirectory();
}

QString storedOutputDirectory(const QString& stored) {
    if (stored.isEmpty() || stored.compare(QStringLiteral("c:\\"), Qt::CaseInsensitive) == 0)
        return initialOutputDirectory();
    return stored;
}

} // namespace app
