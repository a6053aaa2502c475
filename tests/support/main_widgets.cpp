#include "tests/support/main_widgets.h"

#include "app/main_form.h"
#include "selection/directory_list.h"
#include "selection/drive_box.h"
#include "selection/file_list.h"
#include "widgets/flat_button.h"
#include "widgets/hyperlink_label.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QTabWidget>

#include <stdexcept>

namespace testsupport {

namespace {

template <class Widget> Widget* find(app::TMainForm* form, const char* name) {
    auto* found = form->findChild<Widget*>(QString::fromLatin1(name));
    if (!found)
        throw std::logic_error(std::string("no widget named ") + name);
    return found;
}

} // namespace

MainWidgets ui(app::TMainForm* form) {
    return {
        find<QTabWidget>(form, "MainBoard"),
        find<selection::DriveBox>(form, "encdrive"),
        find<selection::DirectoryList>(form, "encdirlist"),
        find<selection::FileList>(form, "encflist"),
        find<widgets::FlatButton>(form, "encFileadd"),
        find<widgets::FlatButton>(form, "EncFileRem"),
        find<QListWidget>(form, "encodelist"),
        find<widgets::FlatButton>(form, "encplay"),
        find<widgets::FlatButton>(form, "encpause"),
        find<widgets::FlatButton>(form, "encstop"),
        find<widgets::FlatButton>(form, "encstart"),
        find<widgets::FlatButton>(form, "encplay2"),
        find<widgets::FlatButton>(form, "encpause2"),
        find<widgets::FlatButton>(form, "encstop2"),
        find<selection::DriveBox>(form, "decDrive"),
        find<selection::DirectoryList>(form, "decdirlist"),
        find<selection::FileList>(form, "decflist"),
        find<widgets::FlatButton>(form, "decFileadd"),
        find<widgets::FlatButton>(form, "DecFileRem"),
        find<QListWidget>(form, "decodelist"),
        find<widgets::FlatButton>(form, "decplay"),
        find<widgets::FlatButton>(form, "decpause"),
        find<widgets::FlatButton>(form, "decstop"),
        find<widgets::FlatButton>(form, "decstart"),
        find<widgets::FlatButton>(form, "decplay1"),
        find<widgets::FlatButton>(form, "decpause1"),
        find<widgets::FlatButton>(form, "decstop1"),
        find<QComboBox>(form, "Codec"),
        find<QComboBox>(form, "Mode"),
        find<QComboBox>(form, "Bitrate"),
        find<QComboBox>(form, "Layer"),
        find<QCheckBox>(form, "deletesource"),
        find<QCheckBox>(form, "showenc"),
        find<QLabel>(form, "encout"),
        find<widgets::FlatButton>(form, "encgetdir"),
        find<QLabel>(form, "decout"),
        find<widgets::FlatButton>(form, "decgetdir"),
        find<QLabel>(form, "Label5"),
        find<widgets::DoubleClickLabel>(form, "eegg"),
        find<QAction>(form, "Exitprog"),
        find<QAction>(form, "nfofile1"),
        find<QAction>(form, "About1"),
    };
}

} // namespace testsupport
