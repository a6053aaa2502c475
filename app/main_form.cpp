#include "app/main_form.h"

#include "app/codec_change.h"
#include "app/engine/option_sets.h"
#include "app/settings_file.h"
#include "app/shortcut_priority.h"
#include "decode/engine/decode_driver.h"
#include "decode/mp3_preview.h"
#include "encode/wav_preview.h"
#include "mpegplay/mpeg_player.h"
#include "platform/file_system.h"
#include "platform/media_player.h"
#include "platform/paths.h"
#include "platform/settings_location.h"
#include "platform/working_directory.h"
#include "selection/batch_queue.h"
#include "selection/directory_list.h"
#include "selection/dirs.h"
#include "selection/drive_box.h"
#include "selection/file_list.h"
#include "selection/filemod.h"
#include "selection/queue_drop.h"
#include "widgets/dialogs.h"
#include "widgets/error_report.h"
#include "widgets/flat_button.h"
#include "widgets/hyperlink_label.h"
#include "widgets/window_geometry.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QScreen>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>

namespace app {

namespace {

constexpr int kClientWidth = 504;
constexpr int kClientHeight = 260;

} // namespace

TMainForm::TMainForm(widgets::Dialogs& dialogs, const QString& pathToDll, QWidget* parent)
    : QMainWindow(parent), dialogs_(dialogs) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Velara's Sonabox 1.1(RC 1)"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);

    buildMenu();
    auto* client = new QWidget(this);
    client->setFixedSize(kClientWidth, kClientHeight);
    setCentralWidget(client);
    MainBoard = new QTabWidget(client);
    MainBoard->setObjectName(QStringLiteral("MainBoard"));
    MainBoard->setGeometry(0, 0, 505, 262);
    MainBoard->setAccessibleName(QStringLiteral("Pages"));
    MainBoard->addTab(buildEncodePage(), QStringLiteral("Encode (wav 2 mp3)"));
    MainBoard->addTab(buildDecodePage(), QStringLiteral("Decode (mp3 2 wav)"));
    MainBoard->addTab(buildConfigurePage(), QStringLiteral("Configure"));
    MainBoard->addTab(buildAboutPage(), QStringLiteral("About"));

    mpgtimer = new QTimer(this);
    mpgtimer->setObjectName(QStringLiteral("mpgtimer"));
    wavplayer = std::make_unique<platform::MediaPlayer>();
    wavPreview_ =
        std::make_unique<encode::WavPreview>(*wavplayer, *encflist, *encodelist, fullname);

    decod = new TMPEGPlayer(this);
    decod->setObjectName(QStringLiteral("decod"));
    decod->setSeekable(false);
    decod->setFromStream(false);
    decod->setPlayerPriority(TPlayPriority::Highest);
    decod->setTimerFreq(500);
    decod->setUseTimer(false);
    decod->setAutoPlay(false);
    decod->setOutputDevice(TOutputDevice::wavemapper);
    decod->setWaveDeviceNum(0);
    decod->setStartPos(0);
    decod->setEndPos(0);
    decod->OnPosUpdate = [this](int Pos, int Len) {
        decodPosUpdate(Pos, Len);
    };
    decod->OnPlayEnd = [this](QObject*) {
        decodPlayEnd();
    };
    decodeBatch_ = std::make_unique<decode::DecodeBatch>(*decod, *mpgtimer);
    mp3Preview_ =
        std::make_unique<decode::Mp3Preview>(*decod, *decplay, *decflist, *decodelist, fullname);

    wire();
    FormCreate(pathToDll);
    setFixedSize(sizeHint());
}

TMainForm::~TMainForm() = default;

QString TMainForm::settingsFile() const {
    return settingsDirectory_ + kSettingsFileName;
}

void TMainForm::FormCreate(const QString& pathToDll) {
    try {
        decod->setPathToDLL(pathToDll);
        decod->LoadDecoder();
    } catch (const std::exception&) {
        // Decoding stays offered; its commands meet the player's own error then.
        widgets::showError(dialogs_, nullptr, decode::kDecoderMissing);
    }
    Label5->setText(windowTitle());
    settingsDirectory_ = platform::settingsDirectory();
    ProgramDir_ = platform::withSeparator(platform::currentDirectory());
    const QString start = platform::browserStartDirectory(ProgramDir_);
    if (platform::isReadableFile(settingsFile())) {
        SettingsWidgets widgets = settingsWidgets();
        loadedDirectories_ = loadSettings(settingsFile(), widgets, start);
    } else {
        showPage(QStringLiteral("Configure"));
        for (auto [drive, directories] :
             {std::pair{encdrive, encdirlist}, std::pair{decDrive, decdirlist}})
            if (directories->setDirectory(start))
                drive->setDrive(directories->drive());
    }
    CodecChange();
    const int shown = MainBoard->currentIndex();
    if (shown == kEncodePage || shown == kDecodePage)
        lastWorkPage_ = shown;
}

void TMainForm::wire() {
    // Every handler runs inside the guard that reports what it throws.
    const auto on = [this](auto handler) {
        return widgets::guardedSlot(dialogs_, this, handler);
    };
    connect(MainBoard, &QTabWidget::currentChanged, this, on(&TMainForm::MainBoardChange));
    connect(Exitprog, &QAction::triggered, this, on(&TMainForm::ExitprogClick));
    giveShortcutPriority(*Exitprog, {Codec, Mode, Bitrate, Layer});
    connect(nfofile1, &QAction::triggered, this, on(&TMainForm::nfofile1Click));
    connect(About1, &QAction::triggered, this, on(&TMainForm::About1Click));
    connect(eegg, &widgets::DoubleClickLabel::doubleClicked, this, on(&TMainForm::eeggDblClick));

    // Every change of the Codec text runs CodecChange, the completer's included, so an entry
    // text applies its set the moment it shows; choosing the shown entry again re-applies it.
    connect(Codec, &QComboBox::activated, this, on(&TMainForm::CodecChange));
    connect(Codec, &QComboBox::editTextChanged, this, on(&TMainForm::CodecChange));

    connect(encdrive, &selection::DriveBox::driveChanged, this, on(&TMainForm::encdriveChange));
    connect(decDrive, &selection::DriveBox::driveChanged, this, on(&TMainForm::decDriveChange));
    connect(encdirlist, &selection::DirectoryList::directoryChanged, this,
            on(&TMainForm::encdirlistChange));
    connect(decdirlist, &selection::DirectoryList::directoryChanged, this,
            on(&TMainForm::decdirlistChange));
    connect(encFileadd, &QAbstractButton::clicked, this, on(&TMainForm::encFileaddClick));
    connect(decFileadd, &QAbstractButton::clicked, this, on(&TMainForm::decFileaddClick));
    connect(EncFileRem, &QAbstractButton::clicked, this, on(&TMainForm::EncFileRemClick));
    connect(DecFileRem, &QAbstractButton::clicked, this, on(&TMainForm::DecFileRemClick));
    connect(encgetdir, &QAbstractButton::clicked, this, on(&TMainForm::encgetdirClick));
    connect(encstart, &QAbstractButton::clicked, this, on(&TMainForm::encstartClick));
    connect(encplay, &QAbstractButton::clicked, this, on(&TMainForm::encplayClick));
    connect(encpause, &QAbstractButton::clicked, this, on(&TMainForm::encpauseClick));
    connect(encstop, &QAbstractButton::clicked, this, on(&TMainForm::encstopClick));
    connect(encplay2, &QAbstractButton::clicked, this, on(&TMainForm::encplay2Click));
    connect(encpause2, &QAbstractButton::clicked, this, on(&TMainForm::encpause2Click));
    connect(encstop2, &QAbstractButton::clicked, this, on(&TMainForm::encstop2Click));
    connect(decstart, &QAbstractButton::clicked, this, on(&TMainForm::decstartClick));
    connect(mpgtimer, &QTimer::timeout, this, on(&TMainForm::mpgtimerTimer));
    connect(decplay, &QAbstractButton::clicked, this, on(&TMainForm::decplayClick));
    connect(decpause, &QAbstractButton::clicked, this, on(&TMainForm::decpauseClick));
    connect(decstop, &QAbstractButton::clicked, this, on(&TMainForm::decstopClick));
    connect(decplay1, &QAbstractButton::clicked, this, on(&TMainForm::decplay1Click));
    connect(decpause1, &QAbstractButton::clicked, this, on(&TMainForm::decpause1Click));
    connect(decstop1, &QAbstractButton::clicked, this, on(&TMainForm::decstop1Click));
    connect(decgetdir, &QAbstractButton::clicked, this, on(&TMainForm::decgetdirClick));

    // Delete removes the selected entries of a queue, as << does.
    for (auto [queue, remove] : {std::pair{encodelist, &TMainForm::EncFileRemClick},
                                 std::pair{decodelist, &TMainForm::DecFileRemClick}}) {
        auto* shortcut = new QShortcut(QKeySequence::Delete, queue);
        shortcut->setContext(Qt::WidgetShortcut);
        connect(shortcut, &QShortcut::activated, this, on(remove));
    }
    // Ctrl+Tab and Ctrl+PgDn go to the next page, Ctrl+Shift+Tab and Ctrl+PgUp to the one
    // before, from wherever the focus is in the window.
    const auto pageKey = [this](QKeyCombination key, int step) {
        connect(new QShortcut(QKeySequence(key), this), &QShortcut::activated, this, [this, step] {
            const int count = MainBoard->count();
            MainBoard->setCurrentIndex((MainBoard->currentIndex() + step + count) % count);
        });
    };
    pageKey(Qt::CTRL | Qt::Key_Tab, 1);
    pageKey(Qt::CTRL | Qt::Key_PageDown, 1);
    pageKey(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab, -1);
    pageKey(Qt::CTRL | Qt::Key_PageUp, -1);

    selection::acceptFileDrops(*encodelist, *encflist, fullname, dialogs_,
                               QStringLiteral("No WAV files among the dropped files"));
    selection::acceptFileDrops(*decodelist, *decflist, fullname, dialogs_,
                               QStringLiteral("No MP3 files among the dropped files"));
}

void TMainForm::showPage(const QString& caption) {
    for (int i = 0; i < MainBoard->count(); ++i) {
        if (MainBoard->tabText(i) == caption) {
            MainBoard->setCurrentIndex(i);
            return;
        }
    }
}

QString TMainForm::activePageCaption() const {
    return MainBoard->tabText(MainBoard->currentIndex());
}

void TMainForm::MainBoardChange(int entering) {
    if (entering != kEncodePage && entering != kDecodePage)
        return;
    // Going between the two work pages, directly or by way of Configure or About, starts the
    // other queue afresh: fullname holds the paths of one queue only.
    const bool otherWorkPage = lastWorkPage_ >= 0 && lastWorkPage_ != entering;
    lastWorkPage_ = entering;
    if (otherWorkPage)
        emptyQueues();
}

void TMainForm::emptyQueues() {
    fullname.clear();
    encodelist->clear();
    decodelist->clear();
    wavPreview_->stopAndClose();
}

void TMainForm::About1Click() {
    showPage(QStringLiteral("About"));
}

void TMainForm::nfofile1Click() {
    dialogs_.openUrl(QUrl::fromLocalFile(ProgramDir_ + QStringLiteral("velara.nfo")));
}

void TMainForm::ExitprogClick() {
    close();
}

void TMainForm::eeggDblClick() {
    dialogs_.message(this, widgets::MessageIcon::Information, QStringLiteral("Information"),
                     QStringLiteral("Mess with the best\rDie like the rest"));
}

void TMainForm::FormClose() {
    platform::ensureSettingsDirectory();
    saveSettings(settingsFile(), settingsWidgets(), loadedDirectories_);
}

void TMainForm::closeEvent(QCloseEvent* event) {
    // The window closes even when the settings can't be written: the program must stay able to
    // end. The error still reaches the default error report.
    event->accept();
    widgets::guarded(dialogs_, [this] { FormClose(); });
}

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (centred_)
        return;
    centred_ = true;
    // Where windows cannot be placed (Wayland), centring is the compositor's.
    if (const QScreen* display = screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(display->availableGeometry().center());
        widgets::placeWindow(*this, frame.topLeft());
    }
}

void TMainForm::CodecChange() {
    OptionWidgets widgets = optionWidgets();
    app::CodecChange(widgets);
}

void TMainForm::driveChange(selection::DriveBox& drive, selection::DirectoryList& directories) {
    QString letter = drive.drive();
    if (selection::CheckDriveReady(letter, drive.drives(), dialogs_, this))
        directories.setDrive(drive.drive());
    // After a failed check the box returns to the working drive; the browser stays where it is.
    const QSignalBlocker quiet(drive);
    drive.setDrive(letter);
}

void TMainForm::encdriveChange() {
    driveChange(*encdrive, *encdirlist);
}

void TMainForm::decDriveChange() {
    driveChange(*decDrive, *decdirlist);
}

void TMainForm::encdirlistChange() {
    encflist->setDirectory(encdirlist->directory());
}

void TMainForm::decdirlistChange() {
    decflist->setDirectory(decdirlist->directory());
}

void TMainForm::encFileaddClick() {
    selection::showRefusedSheets(
        dialogs_, this, selection::addSelectedFiles(*encdirlist, *encflist, *encodelist, fullname));
}

void TMainForm::decFileaddClick() {
    selection::addSelectedFiles(*decdirlist, *decflist, *decodelist, fullname);
}

void TMainForm::EncFileRemClick() {
    selection::removeSelectedEntries(*encodelist, fullname);
}

void TMainForm::DecFileRemClick() {
    selection::removeSelectedEntries(*decodelist, fullname);
}

void TMainForm::chooseOutputDirectory(QLabel& caption) {
    QString directory;
    if (selection::ChooseDir(dialogs_, chooserOwner_, directory))
        caption.setText(directory);
}

void TMainForm::encgetdirClick() {
    chooseOutputDirectory(*encout);
}

void TMainForm::decgetdirClick() {
    chooseOutputDirectory(*decout);
}

void TMainForm::encplayClick() {
    wavPreview_->encplayClick();
}

void TMainForm::encpauseClick() {
    wavPreview_->encpauseClick();
}

void TMainForm::encstopClick() {
    wavPreview_->encstopClick();
}

void TMainForm::encplay2Click() {
    wavPreview_->encplay2Click();
}

void TMainForm::encpause2Click() {
    wavPreview_->encpause2Click();
}

void TMainForm::encstop2Click() {
    wavPreview_->encstop2Click();
}

void TMainForm::decplayClick() {
    mp3Preview_->decplayClick();
}

void TMainForm::decpauseClick() {
    mp3Preview_->decpauseClick();
}

void TMainForm::decstopClick() {
    mp3Preview_->decstopClick();
}

void TMainForm::decplay1Click() {
    mp3Preview_->decplay1Click();
}

void TMainForm::decpause1Click() {
    mp3Preview_->decpause1Click();
}

void TMainForm::decstop1Click() {
    mp3Preview_->decstop1Click();
}

OptionWidgets TMainForm::optionWidgets() {
    return {*Codec, *Mode, *Bitrate, *Layer, *showenc};
}

SettingsWidgets TMainForm::settingsWidgets() {
    return {*Codec,  *Mode,   *Bitrate,  *Layer,      *deletesource, *showenc,
            *encout, *decout, *encdrive, *encdirlist, *decDrive,     *decdirlist};
}

} // namespace app
