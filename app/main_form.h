#pragma once

#include "app/settings_file.h"

#include <QMainWindow>
#include <QStringList>

#include <memory>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QTabWidget;
class QTimer;
class TMPEGPlayer;

namespace decode {
class DecodeBatch;
class DecodeProgressWindow;
class Mp3Preview;
} // namespace decode
namespace encode {
class WavPreview;
}
namespace platform {
class MediaPlayer;
} // namespace platform
namespace widgets {
class Dialogs;
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

namespace app {

struct OptionWidgets;
struct SettingsWidgets;

// The main window: four pages (Encode, Decode, Configure, About), the menu, and the state that
// the pages share. It builds and wires the widgets; the work is done by the subsystems.
class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    // `pathToDll` is where the MPEG player looks for the decoder library; empty means the
    // platform's library search, which finds the copy beside the program.
    explicit TMainForm(widgets::Dialogs& dialogs, const QString& pathToDll = QString(),
                       QWidget* parent = nullptr);
    ~TMainForm() override;

    // Page indexes of MainBoard.
    enum Page { kEncodePage = 0, kDecodePage = 1, kConfigurePage = 2, kAboutPage = 3 };

    // The program directory: the working directory when the window was created, ending in a
    // separator.
    const QString& ProgramDir() const { return ProgramDir_; }
    QString settingsFile() const;

    // Makes the page with this caption the active one.
    void showPage(const QString& caption);
    QString activePageCaption() const;

    // Handlers, named after the widget and the event that fires them.
    void FormCreate(const QString& pathToDll);
    void FormClose();
    void MainBoardChange(int entering);
    void About1Click();
    void nfofile1Click();
    void ExitprogClick();
    void eeggDblClick();
    void CodecChange();
    void encdriveChange();
    void decDriveChange();
    void encdirlistChange();
    void decdirlistChange();
    void encFileaddClick();
    void decFileaddClick();
    void EncFileRemClick();
    void DecFileRemClick();
    void encgetdirClick();
    void decgetdirClick();
    void encstartClick();
    bool ValidateEncodeSettings();
    void encplayClick();
    void encpauseClick();
    void encstopClick();
    void encplay2Click();
    void encpause2Click();
    void encstop2Click();
    void decstartClick();
    void mpgtimerTimer();
    void decodPosUpdate(int Pos, int Len);
    void decodPlayEnd();
    void decplayClick();
    void decpauseClick();
    void decstopClick();
    void decplay1Click();
    void decpause1Click();
    void decstop1Click();
    decode::DecodeBatch& decodeBatch() { return *decodeBatch_; }

    // The windows that own the directory choosers and the encoding progress windows.
    void setChooserOwner(QWidget& owner) { chooserOwner_ = &owner; }
    void setEncFormOwner(QWidget& owner) { encFormOwner_ = &owner; }

    // Entry i is the full path of entry i of the queue in use.
    QStringList fullname;
    QTimer* mpgtimer = nullptr;
    // The MPEG player of the decode batch and the MP3 previews.
    TMPEGPlayer* decod = nullptr;
    // The hidden player of the WAV previews; its tag says which row started the preview.
    std::unique_ptr<platform::MediaPlayer> wavplayer;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Widgets, by the names the handlers use; others find them by these object names.
    QTabWidget* MainBoard = nullptr;

    selection::DriveBox* encdrive = nullptr;
    selection::DirectoryList* encdirlist = nullptr;
    selection::FileList* encflist = nullptr;
    widgets::FlatButton* encFileadd = nullptr;
    widgets::FlatButton* EncFileRem = nullptr;
    QListWidget* encodelist = nullptr;
    widgets::FlatButton* encplay = nullptr;
    widgets::FlatButton* encpause = nullptr;
    widgets::FlatButton* encstop = nullptr;
    widgets::FlatButton* encstart = nullptr;
    widgets::FlatButton* encplay2 = nullptr;
    widgets::FlatButton* encpause2 = nullptr;
    widgets::FlatButton* encstop2 = nullptr;

    selection::DriveBox* decDrive = nullptr;
    selection::DirectoryList* decdirlist = nullptr;
    selection::FileList* decflist = nullptr;
    widgets::FlatButton* decFileadd = nullptr;
    widgets::FlatButton* DecFileRem = nullptr;
    QListWidget* decodelist = nullptr;
    widgets::FlatButton* decplay = nullptr;
    widgets::FlatButton* decpause = nullptr;
    widgets::FlatButton* decstop = nullptr;
    widgets::FlatButton* decstart = nullptr;
    widgets::FlatButton* decplay1 = nullptr;
    widgets::FlatButton* decpause1 = nullptr;
    widgets::FlatButton* decstop1 = nullptr;

    QComboBox* Codec = nullptr;
    QComboBox* Mode = nullptr;
    QComboBox* Bitrate = nullptr;
    QComboBox* Layer = nullptr;
    QCheckBox* deletesource = nullptr;
    QCheckBox* showenc = nullptr;
    QLabel* encout = nullptr;
    widgets::FlatButton* encgetdir = nullptr;
    QLabel* decout = nullptr;
    widgets::FlatButton* decgetdir = nullptr;

    QLabel* Label5 = nullptr;
    widgets::DoubleClickLabel* eegg = nullptr;

    QAction* Exitprog = nullptr;
    QAction* nfofile1 = nullptr;
    QAction* About1 = nullptr;

    void buildMenu();
    QWidget* buildEncodePage();
    QWidget* buildDecodePage();
    QWidget* buildConfigurePage();
    QWidget* buildAboutPage();
    void wire();
    void driveChange(selection::DriveBox& drive, selection::DirectoryList& directories);
    void emptyQueues();
    void chooseOutputDirectory(QLabel& caption);
    OptionWidgets optionWidgets();
    SettingsWidgets settingsWidgets();

    widgets::Dialogs& dialogs_;
    QWidget* chooserOwner_ = nullptr;
    QWidget* encFormOwner_ = nullptr;
    std::unique_ptr<encode::WavPreview> wavPreview_;
    std::unique_ptr<decode::DecodeBatch> decodeBatch_;
    decode::DecodeProgressWindow* decodeProgress_ = nullptr; // while a decode batch runs
    std::unique_ptr<decode::Mp3Preview> mp3Preview_;
    QString ProgramDir_;
    QString settingsDirectory_;
    LoadedDirectories loadedDirectories_; // what the save keeps of the stored directories
    int lastWorkPage_ = -1;
    bool centred_ = false;
};

} // namespace app
