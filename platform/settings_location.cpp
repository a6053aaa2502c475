#include "platform/settings_location.h"

#include "platform/paths.h"

#include <QDir>
#include <QStandardPaths>

namespace platform {

QString settingsDirectory() {
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return withSeparator(joinPath(base, QStringLiteral("sonabox")));
}

bool ensureSettingsDirectory() {
    return QDir().mkpath(settingsDirectory());
}

} // namespace platform
