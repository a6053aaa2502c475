#pragma once

#include "tests/support/qt_printers.h"
#include "tests/support/scripted_dialogs.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace app {
class TMainForm;
struct ProgramWindows;
} // namespace app

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

    // Sends the previews' sound to a file in the world through SDL's disk driver; returns its path.
    QString soundToFile() const;

    // Copies files of the build's program directory (the encoders, the decoder library) into
    // the world's program directory, keeping their relative paths.
    void installFromBuild(const QStringList& relativePaths) const;

    // Creates the program's windows as the program does, in the program directory, and shows
    // the main window.
    // The MPEG player finds the decoder library in `pathToDll`: the build's one by default.
    app::TMainForm* start(const QString& pathToDll = QStringLiteral(SONABOX_PROGRAM_DIR));
    app::ProgramWindows& windows() { return *windows_; }
    // Closes the main window as the user does (the settings are saved) and ends the program.
    void close();
    // Ends the program without closing the main window: nothing is saved.
    void discard();

private:
    QTemporaryDir folder_;
    std::unique_ptr<app::ProgramWindows> windows_;
    QString savedWorkingDirectory_;
    QByteArray savedConfigHome_;
};

} // namespace testsupport
