#pragma once

#include "tests/support/qt_printers.h"
#include "tests/support/scripted_dialogs.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace app {
class TMainForm;
}

namespace testsupport {

void setSharedDialogs(ScriptedDialogs& dialogs);
ScriptedDialogs& sharedDialogs();

// A private world for one test: a temporary folder holding the configuration directory (where
// the settings file goes) and the program directory (the working directory at start-up).
class TestWorld {
public:
    TestWorld();
    ~TestWorld();

    QString root() const { return folder_.path(); }
    QString programDir() const; // without the trailing separator
    QString settingsFile() const;
    // Creates a directory below the world's root and returns its path.
    QString makeDirectory(const QString& relative) const;
    // Writes a file below the world's root and returns its path.
    QString writeFile(const QString& relative, const QByteArray& content) const;

    // Starts the program's main window as the program does, in the program directory.
    std::unique_ptr<app::TMainForm> start();
    // Closes the window as the user does (the settings are saved) and deletes it.
    void close(std::unique_ptr<app::TMainForm>& form);

private:
    QTemporaryDir folder_;
    QString savedWorkingDirectory_;
    QByteArray savedConfigHome_;
};

} // namespace testsupport
