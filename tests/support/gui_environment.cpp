#include "tests/support/gui_environment.h"

#include "app/program_windows.h"
#include "platform/working_directory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <filesystem>
#include <stdexcept>

namespace testsupport {

namespace {
ScriptedDialogs* shared = nullptr;
}

void setSharedDialogs(ScriptedDialogs& dialogs) {
    shared = &dialogs;
}

ScriptedDialogs& sharedDialogs() {
    if (!shared)
        throw std::logic_error("no shared dialogs: the test main sets them");
    return *shared;
}

TestWorld::TestWorld()
    : savedWorkingDirectory_(platform::currentDirectory()),
      savedConfigHome_(qgetenv("XDG_CONFIG_HOME")) {
    if (!folder_.isValid())
        throw std::runtime_error("no temporary folder");
    makeDirectory(QStringLiteral("config"));
    makeDirectory(QStringLiteral("program"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder_.filePath(QStringLiteral("config"))));
    sharedDialogs().reset();
}

TestWorld::~TestWorld() {
    windows_.reset();
    platform::setCurrentDirectory(savedWorkingDirectory_);
    if (savedConfigHome_.isEmpty())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", savedConfigHome_);
    sharedDialogs().onMessage = nullptr;
    // Removed by its bytes: Qt's own removal passes by names that are not UTF-8 and leaves them.
    std::error_code ignored;
    std::filesystem::remove_all(
        std::filesystem::path(QFile::encodeName(folder_.path()).toStdString()), ignored);
}

QString TestWorld::programDir() const {
    return folder_.filePath(QStringLiteral("program"));
}

QString TestWorld::settingsFile() const {
    return folder_.filePath(QStringLiteral("config/sonabox/SBOX.INI"));
}

QString TestWorld::makeDirectory(const QString& relative) const {
    QString path = folder_.filePath(relative);
    if (!QDir().mkpath(path))
        throw std::runtime_error("can't create " + path.toStdString());
    return path;
}

QString TestWorld::writeFile(const QString& relative, const QByteArray& content) const {
    QString path = folder_.filePath(relative);
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        throw std::runtime_error("can't write " + path.toStdString());
    return path;
}

QString TestWorld::soundToFile() const {
    QString path = folder_.filePath(QStringLiteral("sound.raw"));
    qputenv("SDL_AUDIODRIVER", "disk");
    qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(path));
    return path;
}

void TestWorld::installFromBuild(const QStringList& relativePaths) const {
    for (const QString& relative : relativePaths) {
        const QString from = QStringLiteral(SONABOX_PROGRAM_DIR "/") + relative;
        const QString to = programDir() + "/" + relative;
        QDir().mkpath(QFileInfo(to).path());
        QFile::remove(to);
        if (!QFile::copy(from, to))
            throw std::runtime_error("can't copy " + from.toStdString() + " (is it built?)");
    }
    // The encoder programs load the FFmpeg reader's module from their program directory.
    const QString module = QStringLiteral("/libsonabox-ffmpeg.so");
    if (!QFileInfo::exists(programDir() + module))
        QFile::link(QStringLiteral(SONABOX_PROGRAM_DIR) + module, programDir() + module);
}

app::TMainForm* TestWorld::start(const QString& pathToDll) {
    windows_.reset();
    platform::setCurrentDirectory(programDir());
    windows_ = std::make_unique<app::ProgramWindows>(sharedDialogs(), pathToDll);
    app::TMainForm* form = &windows_->MainForm;
    form->show();
    form->activateWindow();
    if (!QTest::qWaitForWindowActive(form))
        throw std::runtime_error("the main window did not become active");
    return form;
}

void TestWorld::close() {
    windows_->MainForm.close();
    windows_.reset();
}

void TestWorld::discard() {
    windows_.reset();
}

} // namespace testsupport
