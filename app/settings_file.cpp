#include "app/settings_file.h"

#include "app/engine/stored_settings.h"
#include "platform/profile_file.h"
#include "platform/volumes.h"
#include "selection/directory_list.h"
#include "selection/drive_box.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

namespace app {

namespace {

// Returns what a save is to keep of the directory: the stored text while the browser stays
// where loading left it, so that a folder that is not there now (an unmounted disk) is offered
// again next time.
StoredDirectory loadBrowser(const std::optional<QString>& value, selection::DriveBox& drive,
                            selection::DirectoryList& directories, const QString& startDir) {
    const QString stored = value.value_or(startDir);
    drive.setDrive(platform::volumeOf(stored, drive.drives()));
    if (!directories.setDirectory(stored)) {
        // The stored directory is gone or unreadable: fall back to the start directory and
        // bring the drive box along.
        directories.setDirectory(startDir);
        drive.setDrive(directories.drive());
    }
    return {value.has_value(), stored, directories.directory()};
}

QString directoryToSave(const StoredDirectory& stored, const selection::DirectoryList& list) {
    const QString& shown = list.directory();
    return stored.inFile && shown == stored.shownAfterLoad ? stored.text : shown;
}

} // namespace

SettingsWriteError::SettingsWriteError(const QString& reason)
    : std::runtime_error(("Unable to write to " + kSettingsFileName +
                          (reason.isEmpty() ? QString() : ": " + reason))
                             .toStdString()) {}

LoadedDirectories loadSettings(const QString& file, SettingsWidgets& w, const QString& startDir) {
    const SettingTexts texts = readSettingTexts(file);
    const StoredSettings stored = storedSettings(texts);
    w.Codec.setEditText(stored.codec);
    w.Mode.setEditText(stored.mode);
    w.Bitrate.setEditText(stored.bitrate);
    w.Layer.setEditText(stored.layer);
    w.deletesource.setChecked(stored.deleteSource);
    w.showenc.setChecked(stored.showEncoder);
    w.encout.setText(stored.encoderOutput);
    w.decout.setText(stored.decoderOutput);
    LoadedDirectories loaded;
    loaded.encoder =
        loadBrowser(texts.value(Setting::EncoderFolder), w.encdrive, w.encdirlist, startDir);
    loaded.decoder =
        loadBrowser(texts.value(Setting::DecoderFolder), w.decDrive, w.decdirlist, startDir);
    return loaded;
}

void saveSettings(const QString& file, const SettingsWidgets& w, const LoadedDirectories& loaded) {
    SettingTexts texts;
    texts.set(Setting::Codec, w.Codec.currentText());
    texts.set(Setting::Mode, w.Mode.currentText());
    texts.set(Setting::Bitrate, w.Bitrate.currentText());
    texts.set(Setting::Layer, w.Layer.currentText());
    texts.set(Setting::DeleteSource, flagText(w.deletesource.isChecked()));
    texts.set(Setting::ShowEncoder, flagText(w.showenc.isChecked()));
    texts.set(Setting::EncoderOutput, w.encout.text());
    texts.set(Setting::DecoderOutput, w.decout.text());
    texts.set(Setting::EncoderFolder, directoryToSave(loaded.encoder, w.encdirlist));
    texts.set(Setting::DecoderFolder, directoryToSave(loaded.decoder, w.decdirlist));
    // The user may have made the file read-only to keep its settings: it stays as it is.
    if (platform::isReadOnlyFile(file))
        throw SettingsWriteError(QStringLiteral("the file is read-only and stays as it is"));
    if (!writeSettingTexts(file, texts))
        throw SettingsWriteError();
}

} // namespace app
