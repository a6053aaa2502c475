#pragma once

#include "encode/engine/encoders.h"
#include "selection/directory_list.h"
#include "selection/drive_box.h"
#include "selection/file_list.h"
#include "widgets/flat_button.h"
#include "widgets/hyperlink_label.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QTabWidget>
#include <QWidget>

namespace app {
class TMainForm;
}

namespace testsupport {

// The named child of `form`; throws when it is missing or has another type.
template <class Widget> Widget* find(app::TMainForm* form, const char* name);

// The encoders' rows in the Codec box.
inline const int kHouseRow = encode::codecPosition(encode::Encoder::House);
inline const int kBladeEncRow = encode::codecPosition(encode::Encoder::BladeEnc);
inline const int kPluggerRow = encode::codecPosition(encode::Encoder::Plugger);

// The main window's widgets, found by their object names as a user's tools would find them.
// Throws when a widget is missing or has another type.
struct MainWidgets {
    explicit MainWidgets(app::TMainForm* form);
    app::TMainForm* form;
    QTabWidget* MainBoard = find<QTabWidget>(form, "MainBoard");
    selection::DriveBox* encdrive = find<selection::DriveBox>(form, "encdrive");
    selection::DirectoryList* encdirlist = find<selection::DirectoryList>(form, "encdirlist");
    selection::FileList* encflist = find<selection::FileList>(form, "encflist");
    widgets::FlatButton* encFileadd = find<widgets::FlatButton>(form, "encFileadd");
    widgets::FlatButton* EncFileRem = find<widgets::FlatButton>(form, "EncFileRem");
    QListWidget* encodelist = find<QListWidget>(form, "encodelist");
    widgets::FlatButton* encplay = find<widgets::FlatButton>(form, "encplay");
    widgets::FlatButton* encpause = find<widgets::FlatButton>(form, "encpause");
    widgets::FlatButton* encstop = find<widgets::FlatButton>(form, "encstop");
    widgets::FlatButton* encstart = find<widgets::FlatButton>(form, "encstart");
    widgets::FlatButton* encplay2 = find<widgets::FlatButton>(form, "encplay2");
    widgets::FlatButton* encpause2 = find<widgets::FlatButton>(form, "encpause2");
    widgets::FlatButton* encstop2 = find<widgets::FlatButton>(form, "encstop2");
    selection::DirectoryList* decdirlist = find<selection::DirectoryList>(form, "decdirlist");
    selection::FileList* decflist = find<selection::FileList>(form, "decflist");
    widgets::FlatButton* decFileadd = find<widgets::FlatButton>(form, "decFileadd");
    widgets::FlatButton* DecFileRem = find<widgets::FlatButton>(form, "DecFileRem");
    QListWidget* decodelist = find<QListWidget>(form, "decodelist");
    widgets::FlatButton* decplay = find<widgets::FlatButton>(form, "decplay");
    widgets::FlatButton* decpause = find<widgets::FlatButton>(form, "decpause");
    widgets::FlatButton* decstop = find<widgets::FlatButton>(form, "decstop");
    widgets::FlatButton* decstart = find<widgets::FlatButton>(form, "decstart");
    widgets::FlatButton* decplay1 = find<widgets::FlatButton>(form, "decplay1");
    widgets::FlatButton* decpause1 = find<widgets::FlatButton>(form, "decpause1");
    widgets::FlatButton* decstop1 = find<widgets::FlatButton>(form, "decstop1");
    QComboBox* Codec = find<QComboBox>(form, "Codec");
    QComboBox* Mode = find<QComboBox>(form, "Mode");
    QComboBox* Bitrate = find<QComboBox>(form, "Bitrate");
    QComboBox* Layer = find<QComboBox>(form, "Layer");
    QCheckBox* deletesource = find<QCheckBox>(form, "deletesource");
    QCheckBox* showenc = find<QCheckBox>(form, "showenc");
    QLabel* encout = find<QLabel>(form, "encout");
    widgets::FlatButton* encgetdir = find<widgets::FlatButton>(form, "encgetdir");
    QLabel* decout = find<QLabel>(form, "decout");
    widgets::FlatButton* decgetdir = find<widgets::FlatButton>(form, "decgetdir");
    QLabel* Label5 = find<QLabel>(form, "Label5");
    widgets::DoubleClickLabel* eegg = find<widgets::DoubleClickLabel>(form, "eegg");
    QAction* Exitprog = find<QAction>(form, "Exitprog");
    QAction* nfofile1 = find<QAction>(form, "nfofile1");
    QAction* About1 = find<QAction>(form, "About1");
};

inline MainWidgets ui(app::TMainForm* form) {
    return MainWidgets(form);
}

// Shows the Encode or Decode page with its browser in `directory`; sets the page's output
// directory to `out` when one is given.
void showWorkPage(app::TMainForm* form, bool encode, const QString& directory,
                  const QString& out = {});

// Queues every file that the browser of the page shown lists.
void queueAll(app::TMainForm* form);

// A top-level window of the program by its object name, while it exists.
template <class Window> Window* topLevelWindow(const char* name) {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->objectName() == QLatin1String(name))
            return qobject_cast<Window*>(window);
    }
    return nullptr;
}

} // namespace testsupport
