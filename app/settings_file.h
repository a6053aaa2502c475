#pragma once

#include <QString>

#include <stdexcept>

class QCheckBox;
class QComboBox;
class QLabel;

namespace selection {
class DirectoryList;
class DriveBox;
} // namespace selection

namespace app {

inline const QString kSettingsFileName = QStringLiteral("SBOX.INI");

// The widgets whose state the settings file keeps between runs.
struct SettingsWidgets {
    QComboBox& Codec;
    QComboBox& Mode;
    QComboBox& Bitrate;
    QComboBox& Layer;
    QCheckBox& deletesource;
    QCheckBox& showenc;
    QLabel& encout;
    QLabel& decout;
    selection::DriveBox& encdrive;
    selection::DirectoryList& encdirlist;
    selection::DriveBox& decDrive;
    selection::DirectoryList& decdirlist;
};

// A settings write that failed: "Unable to write to SBOX.INI", and why when it is known.
class SettingsWriteError : public std::runtime_error {
public:
    explicit SettingsWriteError(const QString& reason = QString());
};

// A browser's directory as the settings file held it, and where loading left the browser.
struct StoredDirectory {
    bool inFile = false;
    QString text;
    QString shownAfterLoad;
};

struct LoadedDirectories {
    StoredDirectory encoder;
    StoredDirectory decoder;
};

// Applies the ten settings to the widgets. Setting a drive box runs its change handler, as a
// user's choice would. A stored directory that can no longer be shown leaves that browser at
// `startDir` (see platform::browserStartDirectory). Texts keep the bytes they had in the file,
// UTF-8 or not.
LoadedDirectories loadSettings(const QString& file, SettingsWidgets& widgets,
                               const QString& startDir);

// Writes the ten settings in one replacement of the file; throws SettingsWriteError when it
// failed, leaving the file as it was. A read-only file is left alone, and the error says so. A
// browser that is still where loading left it writes the directory text as it was loaded, also one
// that could not be shown.
void saveSettings(const QString& file, const SettingsWidgets& widgets,
                  const LoadedDirectories& loaded = {});

} // namespace app
