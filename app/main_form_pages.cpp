// Builds the main window's four pages and its menu. Places are x, y, width and height in
// pixels inside their parent.
#include "app/main_form.h"

#include "app/engine/option_sets.h"
#include "app/engine/output_directory.h"
#include "platform/paths.h"
#include "selection/directory_list.h"
#include "selection/drive_box.h"
#include "selection/engine/queue_paths.h"
#include "selection/file_list.h"
#include "widgets/flat_button.h"
#include "widgets/hyperlink_label.h"
#include "widgets/path_label.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QUrl>

#include <tuple>

namespace app {

namespace {

template <typename Widget>
Widget* place(Widget* widget, const char* name, int x, int y, int width, int height) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(x, y, width, height);
    return widget;
}

// Labels and check boxes take the size their text needs, so that no text is cut.
template <typename Widget> Widget* placeSized(Widget* widget, const char* name, int x, int y) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->move(x, y);
    widget->resize(widget->sizeHint());
    return widget;
}

// What a screen reader says of a control: its name, and what it does where the name is short.
template <typename Widget>
Widget* describe(Widget* widget, const QString& name, const QString& description = {}) {
    widget->setAccessibleName(name);
    if (!description.isEmpty())
        widget->setAccessibleDescription(description);
    return widget;
}

widgets::FlatButton* button(QWidget* parent, const char* name, const char* caption, int x, int y,
                            int width) {
    return place(new widgets::FlatButton(QString::fromLatin1(caption), parent), name, x, y, width,
                 17);
}

QComboBox* optionBox(QWidget* parent, const char* name, int y, const QStringList& entries,
                     const QString& text, const QString& description) {
    auto* box = new QComboBox(parent);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->addItems(entries);
    box->setEditText(text);
    // The edit field inside the box answers to the same name.
    const QString title = QString::fromLatin1(name);
    describe(box->lineEdit(), title, description);
    describe(box->view(), title + QStringLiteral(" entries"));
    describe(box, title, description);
    return place(box, name, 48, y, 177, box->sizeHint().height());
}

// The output directory's caption: the whole path in its tool tip when it is too long to show.
QLabel* outputDirectory(QWidget* parent, const char* name, const QString& description) {
    auto* label = new widgets::PathLabel(initialOutputDirectory(), parent);
    label->setAccessibleDescription(description);
    return place(label, name, 8, 16, 145, 17);
}

// Both work pages share one layout: drive box, directory list, file list, queue, the add and
// remove buttons and the two rows of preview buttons around the start button.
struct WorkPageNames {
    const char* drive;
    const char* directories;
    const char* files;
    QString mask;
    const char* add;
    const char* remove;
    const char* queue;
    const char* play;
    const char* pause;
    const char* stop;
    const char* start;
    const char* startCaption;
    const char* play2;
    const char* pause2;
    const char* stop2;
    // For the accessible names: the kind of file the page takes ("WAV") and what it does with
    // it ("encode").
    const char* kind;
    const char* verb;
};

struct WorkPage {
    QWidget* page;
    selection::DriveBox* drive;
    selection::DirectoryList* directories;
    selection::FileList* files;
    widgets::FlatButton* add;
    widgets::FlatButton* remove;
    QListWidget* queue;
    widgets::FlatButton* play;
    widgets::FlatButton* pause;
    widgets::FlatButton* stop;
    widgets::FlatButton* start;
    widgets::FlatButton* play2;
    widgets::FlatButton* pause2;
    widgets::FlatButton* stop2;
};

WorkPage buildWorkPage(const WorkPageNames& n) {
    WorkPage w{};
    w.page = new QWidget;
    w.drive = place(new selection::DriveBox(w.page), n.drive, 8, 8, 145, 19);
    w.directories = place(new selection::DirectoryList(w.page), n.directories, 8, 32, 145, 193);
    w.files = place(new selection::FileList(n.mask, w.page), n.files, 160, 8, 145, 193);
    QObject::connect(w.files, &selection::FileList::upRequested, w.directories,
                     &selection::DirectoryList::goUp);
    w.add = button(w.page, n.add, ">>", 312, 160, 23);
    w.remove = button(w.page, n.remove, "<<", 312, 184, 25);
    w.queue = place(new QListWidget(w.page), n.queue, 344, 8, 145, 193);
    w.queue->setSelectionMode(QAbstractItemView::ExtendedSelection);
    w.play = button(w.page, n.play, "Play", 160, 208, 33);
    w.pause = button(w.page, n.pause, "Pause", 200, 208, 41);
    w.stop = button(w.page, n.stop, "Stop", 248, 208, 33);
    w.start = button(w.page, n.start, n.startCaption, 288, 208, 73);
    w.play2 = button(w.page, n.play2, "Play", 368, 208, 33);
    w.pause2 = button(w.page, n.pause2, "Pause", 408, 208, 41);
    w.stop2 = button(w.page, n.stop2, "Stop", 456, 208, 33);

    const QString kind = QString::fromLatin1(n.kind);
    const QString verb = QString::fromLatin1(n.verb);
    const auto says = [&](const char* pattern) {
        return QString::fromLatin1(pattern).replace("%1", kind).replace("%2", verb);
    };
    // A combo box's name is its text where screen readers ask (AT-SPI): the description says
    // what the box is for.
    describe(w.drive, says("Drive of the %1 file browser"), says("Drive of the %1 file browser"));
    describe(w.drive->view(), says("Drives of the %1 file browser"));
    describe(w.directories, says("Folders of the %1 file browser"),
             QStringLiteral("Return opens a folder, Backspace goes up one"));
    describe(w.files, says("%1 files in the folder"));
    describe(w.add, says("Add the selected %1 files to the %2 queue"));
    describe(w.remove, says("Remove the selected files from the %2 queue"));
    describe(w.queue, says("Files to %2"), QStringLiteral("Delete removes the selected files"));
    for (auto [play, pause, stop, which] :
         {std::tuple{w.play, w.pause, w.stop, says("%1 file")},
          std::tuple{w.play2, w.pause2, w.stop2, says("file of the %2 queue")}}) {
        describe(play, QStringLiteral("Play the selected ") + which);
        describe(pause, QStringLiteral("Pause the selected ") + which);
        describe(stop, QStringLiteral("Stop the selected ") + which);
    }
    describe(w.start, QString::fromLatin1(n.startCaption) + says(" the queued %1 files"));
    return w;
}

} // namespace

void TMainForm::buildMenu() {
    QMenu* File1 = menuBar()->addMenu(QStringLiteral("File"));
    File1->setObjectName(QStringLiteral("File1"));
    Exitprog = File1->addAction(QStringLiteral("E&xit"));
    Exitprog->setObjectName(QStringLiteral("Exitprog"));
    Exitprog->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));

    QMenu* Help1 = menuBar()->addMenu(QStringLiteral("Help"));
    Help1->setObjectName(QStringLiteral("Help1"));
    nfofile1 = Help1->addAction(QStringLiteral(".nfo file"));
    nfofile1->setObjectName(QStringLiteral("nfofile1"));
    nfofile1->setShortcut(QKeySequence(Qt::Key_F1));
    About1 = Help1->addAction(QStringLiteral("About"));
    About1->setObjectName(QStringLiteral("About1"));
}

QWidget* TMainForm::buildEncodePage() {
    const WorkPage w =
        buildWorkPage({"encdrive", "encdirlist", "encflist", selection::kEncodeMask, "encFileadd",
                       "EncFileRem", "encodelist", "encplay", "encpause", "encstop", "encstart",
                       "Encode", "encplay2", "encpause2", "encstop2", "WAV", "encode"});
    encdrive = w.drive;
    encdirlist = w.directories;
    encflist = w.files;
    encFileadd = w.add;
    EncFileRem = w.remove;
    encodelist = w.queue;
    encplay = w.play;
    encpause = w.pause;
    encstop = w.stop;
    encstart = w.start;
    encplay2 = w.play2;
    encpause2 = w.pause2;
    encstop2 = w.stop2;
    return w.page;
}

QWidget* TMainForm::buildDecodePage() {
    const WorkPage w =
        buildWorkPage({"decDrive", "decdirlist", "decflist", selection::kDecodeMask, "decFileadd",
                       "DecFileRem", "decodelist", "decplay", "decpause", "decstop", "decstart",
                       "Decode", "decplay1", "decpause1", "decstop1", "MP3", "decode"});
    decDrive = w.drive;
    decdirlist = w.directories;
    decflist = w.files;
    decFileadd = w.add;
    DecFileRem = w.remove;
    decodelist = w.queue;
    decplay = w.play;
    decpause = w.pause;
    decstop = w.stop;
    decstart = w.start;
    decplay1 = w.play2;
    decpause1 = w.pause2;
    decstop1 = w.stop2;
    return w.page;
}

QWidget* TMainForm::buildConfigurePage() {
    auto* page = new QWidget;

    auto* GroupBox1 =
        place(new QGroupBox(QStringLiteral("Encoder : "), page), "GroupBox1", 8, 0, 233, 225);
    const char* labels[] = {"Codec", "Mode", "Bitrate", "Layer"};
    const char* labelNames[] = {"Label1", "Label2", "Label3", "Label4"};
    QLabel* boxLabels[4];
    for (int i = 0; i < 4; ++i)
        boxLabels[i] = placeSized(new QLabel(QString::fromLatin1(labels[i]), GroupBox1),
                                  labelNames[i], 8, 20 + 32 * i);
    Codec = optionBox(GroupBox1, "Codec", 16, codecEntries(), kCodecPrompt,
                      QStringLiteral("The encoder program"));
    Mode = optionBox(GroupBox1, "Mode", 48, allModes(), kModePrompt,
                     QStringLiteral("Stereo, joint stereo, dual channel or mono"));
    Bitrate = optionBox(GroupBox1, "Bitrate", 80, initialBitrates(), kBitratePrompt,
                        QStringLiteral("Kilobits per second of the MPEG files"));
    Layer = optionBox(GroupBox1, "Layer", 112, allLayers(), kLayerPrompt,
                      QStringLiteral("MPEG audio layer of the encoded files"));
    // Each label names its box for screen readers.
    for (auto [label, box] : {std::pair{boxLabels[0], Codec}, std::pair{boxLabels[1], Mode},
                              std::pair{boxLabels[2], Bitrate}, std::pair{boxLabels[3], Layer}})
        label->setBuddy(box);
    deletesource =
        placeSized(new QCheckBox(QStringLiteral("Delete Source files after encoding"), GroupBox1),
                   "deletesource", 16, 144);
    showenc = placeSized(new QCheckBox(QStringLiteral("Show encoder while encoding"), GroupBox1),
                         "showenc", 16, 160);
    auto* GroupBox3 = place(new QGroupBox(QStringLiteral("Output Directory : "), GroupBox1),
                            "GroupBox3", 8, 176, 217, 41);
    encout =
        outputDirectory(GroupBox3, "encout", QStringLiteral("Output directory of the MP3 files"));
    encgetdir = describe(button(GroupBox3, "encgetdir", "Choose", 160, 16, 49),
                         QStringLiteral("Choose the output directory of the MP3 files"));

    auto* GroupBox2 =
        place(new QGroupBox(QStringLiteral("Decoder : "), page), "GroupBox2", 256, 0, 233, 225);
    auto* GroupBox4 = place(new QGroupBox(QStringLiteral("Output Directory : "), GroupBox2),
                            "GroupBox4", 8, 176, 217, 41);
    decout =
        outputDirectory(GroupBox4, "decout", QStringLiteral("Output directory of the WAV files"));
    decgetdir = describe(button(GroupBox4, "decgetdir", "Choose", 160, 16, 49),
                         QStringLiteral("Choose the output directory of the WAV files"));
    return page;
}

QWidget* TMainForm::buildAboutPage() {
    auto* page = new QWidget;

    auto* info = place(new QGroupBox(QStringLiteral("Info : "), page), "GroupBox5", 8, 8, 481, 97);
    Label5 = place(new QLabel(info), "Label5", 8, 16, 465, 29);
    QFont title = Label5->font();
    title.setPixelSize(24);
    Label5->setFont(title);
    placeSized(
        new QLabel(QStringLiteral("Front-end, decoder and encoders: the Sonabox team"), info),
        "Label6", 8, 52);
    placeSized(new QLabel(QStringLiteral("Sound by LAME, TwoLAME, mpg123, libsndfile, SDL"), info),
               "Label7", 8, 70);
    placeSized(new widgets::HyperlinkLabel(QStringLiteral("team@sonabox.example"),
                                           QUrl(QStringLiteral("mailto:team@sonabox.example")),
                                           dialogs_, info),
               "Mail1", 330, 52);
    placeSized(new widgets::HyperlinkLabel(QStringLiteral("bugs@sonabox.example"),
                                           QUrl(QStringLiteral("mailto:bugs@sonabox.example")),
                                           dialogs_, info),
               "Mail2", 330, 70);

    auto* links =
        place(new QGroupBox(QStringLiteral("Links : "), page), "GroupBox6", 192, 112, 297, 113);
    const struct {
        const char* name;
        const char* caption;
        const char* target;
    } webLinks[] = {
        {"Link1", "LAME MP3 encoder", "https://lame.sourceforge.io/"},
        {"Link2", "TwoLAME MPEG Layer II encoder", "https://www.twolame.org/"},
        {"Link3", "mpg123 and libmpg123", "https://www.mpg123.de/"},
        {"Link4", "libsndfile", "https://libsndfile.github.io/libsndfile/"},
        {"Link5", "Simple DirectMedia Layer", "https://www.libsdl.org/"},
    };
    int y = 18;
    for (const auto& link : webLinks) {
        placeSized(new widgets::HyperlinkLabel(QString::fromLatin1(link.caption),
                                               QUrl(QString::fromLatin1(link.target)), dialogs_,
                                               links),
                   link.name, 8, y);
        y += 18;
    }

    auto* greetings =
        place(new QGroupBox(QStringLiteral("Greetings : "), page), "GroupBox7", 8, 152, 177, 73);
    const char* thanks[] = {"Thanks to the LAME team,", "the mpg123 developers",
                            "and the Qt project"};
    for (int i = 0; i < 3; ++i)
        placeSized(new QLabel(QString::fromLatin1(thanks[i]), greetings),
                   QStringLiteral("Label%1").arg(8 + i).toLatin1().constData(), 8, 18 + 16 * i);

    eegg = place(new widgets::DoubleClickLabel(page), "eegg", 19, 136, 46, 13);
    return page;
}

} // namespace app
