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

// A settings write that failed: "Unable to write to SBOX.INI".
class SettingsWriteError : public std::runtime_error {
public:
    SettingsWriteError();
};

// Applies the ten settings to the widgets. Setting a drive box runs its change handler, as a
// user's choice would. A browser without a stored directory, or whose stored directory can no
// longer be shown, starts at `startDir` (see platform::browserStartDirectory).
void loadSettings(const QString& file, SettingsWidgets& widgets, const QString& startDir);

// Writes the ten settings in one replacement of the file; throws SettingsWriteError when it
// failed, leaving the file as it was.
void saveSettings(const QString& file, const SettingsWidgets& widgets);

} // namespace app
