#pragma once

#include <QString>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QWidget;

namespace platform {
class Dialogs;
}
namespace selection {
class FileList;
}

namespace encode {

// The main window's parts that the encode batch reads and changes.
struct EncodeBatchWidgets {
    QWidget& mainWindow;
    QListWidget& encodelist;
    QStringList& fullname;
    selection::FileList& encflist;
    QComboBox& Codec;
    QComboBox& Mode;
    QComboBox& Bitrate;
    QComboBox& Layer;
    QCheckBox& deletesource;
    QCheckBox& showenc;
    QLabel& encout;
};

// Shows one error box listing the options that still show their prompts; true when none does.
bool ValidateEncodeSettings(const EncodeBatchWidgets& widgets, platform::Dialogs& dialogs);

// Encodes the whole queue, one file after another, with the chosen encoder; deletes each
// source whose output this run produced when "Delete Source files after encoding" is checked;
// empties the queue and rereads the file list at the end. `progressOwner` owns the progress
// windows.
void encstartClick(EncodeBatchWidgets& widgets, platform::Dialogs& dialogs, QWidget* progressOwner,
                   const QString& programDir);

} // namespace encode
