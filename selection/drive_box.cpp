#include "selection/drive_box.h"

#include "platform/volumes.h"
#include "platform/working_directory.h"

#include <QSignalBlocker>

namespace selection {

DriveBox::DriveBox(QWidget* parent) : QComboBox(parent) {
    setDrives(platform::mountedVolumes());
    {
        const QSignalBlocker quiet(this);
        setDrive(platform::volumeOf(platform::currentDirectory(), drives_));
    }
    connect(this, &QComboBox::currentIndexChanged, this, &DriveBox::driveChanged);
}

QString DriveBox::drive() const {
    return currentText();
}

void DriveBox::setDrive(const QString& drive) {
    const int index = drives_.indexOf(drive);
    if (index >= 0)
        setCurrentIndex(index);
}

void DriveBox::setDrives(const QStringList& drives) {
    const QString shown = drive();
    const QSignalBlocker quiet(this);
    drives_ = drives;
    clear();
    addItems(drives_);
    setCurrentIndex(std::max<qsizetype>(0, drives_.indexOf(shown)));
}

} // namespace selection
