#pragma once

#include <QComboBox>
#include <QStringList>

namespace selection {

// Lists the drives of the system (mounted file systems, named by their mount points) and shows
// one of them. `driveChanged` follows every change of the shown drive, by the user or by the
// program.
class DriveBox : public QComboBox {
    Q_OBJECT
public:
    explicit DriveBox(QWidget* parent = nullptr);

    QString drive() const;
    // Shows the drive; does nothing when it is already shown or not in the list.
    void setDrive(const QString& drive);

    const QStringList& drives() const { return drives_; }
    // Replaces the list of drives, keeping the shown drive when it is still listed.
    void setDrives(const QStringList& drives);

signals:
    void driveChanged();

private:
    QStringList drives_;
};

} // namespace selection
