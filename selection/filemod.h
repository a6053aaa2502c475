#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace widgets {
class Dialogs;
}

namespace selection {

// The drive check every drive box runs before its browser moves to another drive. True when
// the browser may move to `drive`. The working drive passes untested; another drive must be
// made the working directory, and when it can't be, the user is told that it is not ready and
// `drive` becomes the working drive.
bool CheckDriveReady(QString& drive, const QStringList& drives, widgets::Dialogs& dialogs,
                     QWidget* parent);

// "Drive /media/usb is not ready"
QString driveNotReadyMessage(const QString& drive);

} // namespace selection
