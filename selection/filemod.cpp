#include "selection/filemod.h"

#include "platform/dialogs.h"
#include "platform/file_system.h"
#include "platform/volumes.h"
#include "platform/working_directory.h"

namespace selection {

QString driveNotReadyMessage(const QString& drive) {
    return QStringLiteral("Drive ") + drive + QStringLiteral(" is not ready");
}

bool CheckDriveReady(QString& drive, const QStringList& drives, platform::Dialogs& dialogs,
                     QWidget* parent) {
    const QString working = platform::volumeOf(platform::currentDirectory(), drives);
    if (drive == working)
        return true;
    // A stale or unreadable mount can often be entered but not listed; neither is usable.
    if (platform::isReadableDirectory(drive) && platform::setCurrentDirectory(drive))
        return true;
    platform::showError(dialogs, parent, driveNotReadyMessage(drive));
    drive = working;
    return false;
}

} // namespace selection
