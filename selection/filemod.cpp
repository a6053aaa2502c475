#include "selection/filemod.h"

#include "platform/file_system.h"
#include "platform/volumes.h"
#include "platform/working_directory.h"
#include "widgets/dialogs.h"

namespace selection {

QString driveNotReadyMessage(const QString& drive) {
    return QStringLiteral("Drive ") + drive + QStringLiteral(" is not ready");
}

bool CheckDriveReady(QString& drive, const QStringList& drives, widgets::Dialogs& dialogs,
                     QWidget* parent) {
    const QString working = platform::volumeOf(platform::currentDirectory(), drives);
    if (drive == working)
        return true;
    // A stale or unreadable mount can often be entered but not listed; neither is usable.
    if (platform::isReadableDirectory(drive) && platform::setCurrentDirectory(drive))
        return true;
    widgets::showError(dialogs, parent, driveNotReadyMessage(drive));
    drive = working;
    return false;
}

} // namespace selection
