#include "app/settings_file.h"

#include "app/stored_settings.h"
#include "platform/profile_file.h"
#include "platform/volumes.h"
#include "selection/directory_list.h"
#include "selection/drive_box.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

namespace app {

namespace {

const QString kEncoder = QStringLiteral("ENCODER");
const QString kDecoder = QStringLiteral("DECODER");
const QString kDirectories = QStringLiteral("DIRECTORIES");

// Returns what a save is to keep of the directory: the stored text while the browser stays
// where loading left it, so that a folder that is not there now (an unmounted disk) is offered
// again next time.
StoredDirectory loadBrowser(const QString& file, const QString& key, selection::DriveBox& drive,
                            selection::DirectoryList& directories, const QString& startDir) {
    const QString stored = platform::readProfileString(file, kDirectories, key, startDir);
    drive.setDrive(platform::volumeOf(stored, drive.drives()));
    const QString again = platform::readProfileString(file, kDirectories, key, startDir);
    // A value never holds a line end, so this default tells a missing key.
    const bool present = platform::readProfileString(file, kDirectories, key, "\n") != "\n";
    if (!directories.setDirectory(again)) {
        // The stored directory is gone or unreadable: fall back to the start directory and
        // bring the drive box along.
        directories.setDirectory(startDir);
        drive.setDrive(directories.drive());
    }
    return {present, again, directories.directory()};
}

QString directoryToSave(const StoredDirectory& stored, const selection::DirectoryList& list) {
    const QString shown = list.directory();
    return stored.inFile && shown == stored.shownAfterLoad ? stored.text : shown;
}

} // namespace

SettingsWriteError::SettingsWriteError()
    : std::runtime_error(("Unable to write to " + kSettingsFileName).toStdString()) {}

LoadedDirectories loadSettings(const QString& file, SettingsWidgets& w, const QString& startDir) {
    const StoredSettings stored = readStoredSettings(file);
    w.Codec.setEditText(stored.codec);
    w.Mode.setEditText(stored.mode);
    w.Bitrate.setEditText(stored.bitrate);
    w.Layer.setEditText(stored.layer);
    w.deletesource.setChecked(stored.deleteSource);
    w.showenc.setChecked(stored.showEncoder);
    w.encout.setText(stored.encoderOutput);
    w.decout.setText(stored.decoderOutput);
    LoadedDirectories loaded;
    loaded.encoder = loadBrowser(file, "Encoder", w.encdrive, w.encdirlist, startDir);
    loaded.decoder = loadBrowser(file, "Decoder", w.decDrive, w.decdirlist, startDir);
    return loaded;
}

void saveSettings(const QString& file, const SettingsWidgets& w, const LoadedDirectories& loaded) {
    auto flag = [](const QCheckBox& box) {
        return QString::fromLatin1(box.isChecked() ? "1" : "0");
    };
    const QList<platform::ProfileWrite> writes{
        {kEncoder, "Codec", w.Codec.currentText()},
        {kEncoder, "Mode", w.Mode.currentText()},
        {kEncoder, "Bitrate", w.Bitrate.currentText()},
        {kEncoder, "Layer", w.Layer.currentText()},
        {kEncoder, "Delsource", flag(w.deletesource)},
        {kEncoder, "ShowEnc", flag(w.showenc)},
        {kEncoder, "Output", w.encout.text()},
        {kDecoder, "Output", w.decout.text()},
        {kDirectories, "Encoder", directoryToSave(loaded.encoder, w.encdirlist)},
        {kDirectories, "Decoder", directoryToSave(loaded.decoder, w.decdirlist)},
    };
    if (!platform::writeProfileStrings(file, writes))
        throw SettingsWriteError();
}

} // namespace app
