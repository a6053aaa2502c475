#pragma once

#include "encode/encoders.h"

#include <QApplication>
#include <QWidget>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QTabWidget;

namespace app {
class TMainForm;
}
namespace selection {
class DirectoryList;
class DriveBox;
class FileList;
} // namespace selection
namespace widgets {
class DoubleClickLabel;
class FlatButton;
} // namespace widgets

namespace testsupport {

// The encoders' rows in the Codec box.
inline const int kHouseRow = encode::codecPosition(encode::Encoder::House);
inline const int kBladeEncRow = encode::codecPosition(encode::Encoder::BladeEnc);
inline const int kPluggerRow = encode::codecPosition(encode::Encoder::Plugger);

// The main window's widgets, found by their object names as a user's tools would find them.
struct MainWidgets {
    QTabWidget* MainBoard;
    selection::DriveBox* encdrive;
    selection::DirectoryList* encdirlist;
    selection::FileList* encflist;
    widgets::FlatButton* encFileadd;
    widgets::FlatButton* EncFileRem;
    QListWidget* encodelist;
    widgets::FlatButton* encplay;
    widgets::FlatButton* encpause;
    widgets::FlatButton* encstop;
    widgets::FlatButton* encstart;
    widgets::FlatButton* encplay2;
    widgets::FlatButton* encpause2;
    widgets::FlatButton* encstop2;
    selection::DriveBox* decDrive;
    selection::DirectoryList* decdirlist;
    selection::FileList* decflist;
    widgets::FlatButton* decFileadd;
    widgets::FlatButton* DecFileRem;
    QListWidget* decodelist;
    widgets::FlatButton* decplay;
    widgets::FlatButton* decpause;
    widgets::FlatButton* decstop;
    widgets::FlatButton* decstart;
    widgets::FlatButton* decplay1;
    widgets::FlatButton* decpause1;
    widgets::FlatButton* decstop1;
    QComboBox* Codec;
    QComboBox* Mode;
    QComboBox* Bitrate;
    QComboBox* Layer;
    QCheckBox* deletesource;
    QCheckBox* showenc;
    QLabel* encout;
    widgets::FlatButton* encgetdir;
    QLabel* decout;
    widgets::FlatButton* decgetdir;
    QLabel* Label5;
    widgets::DoubleClickLabel* eegg;
    QAction* Exitprog;
    QAction* nfofile1;
    QAction* About1;
};

// Throws when a widget is missing or has another type.
MainWidgets ui(app::TMainForm* form);

// A top-level window of the program by its object name, while it exists.
template <class Window> Window* topLevelWindow(const char* name) {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->objectName() == QLatin1String(name))
            return qobject_cast<Window*>(window);
    }
    return nullptr;
}

} // namespace testsupport
