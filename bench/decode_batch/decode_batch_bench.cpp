// Time and CPU that the program's own GUI thread spends while the Decode button decodes a
// queue, measured on the real main window against the decoding itself and against mpg123.
//   decode_batch_bench <file.mp3>...
#include "app/main_form.h"
#include "app/program_windows.h"
#include "app/sonabox_application.h"
#include "platform/working_directory.h"
#include "selection/directory_list.h"
#include "selection/file_list.h"
#include "widgets/dialogs.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/resource.h>

namespace {

// Messages are printed, not shown: the benchmark runs unattended.
class PrintingDialogs final : public widgets::Dialogs {
public:
    void message(QWidget*, widgets::MessageIcon, const QString& caption,
                 const QString& text) override {
        std::fprintf(stderr, "%s: %s\n", qPrintable(caption), qPrintable(text));
    }
    void message(QWidget* parent, widgets::MessageIcon icon, const QString& caption,
                 const QString& text, const QString&) override {
        message(parent, icon, caption, text);
    }
    std::optional<QString> textInput(QWidget*, const QString&, const QString&) override {
        return std::nullopt;
    }
    void openUrl(const QUrl&) override {}
};

double seconds(const timeval& time) {
    return double(time.tv_sec) + double(time.tv_usec) / 1e6;
}

double cpu(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    PrintingDialogs dialogs;
    app::SonaboxApplication application(argc, argv);
    const QStringList inputs = application.arguments().mid(1);
    if (inputs.isEmpty()) {
        std::fprintf(stderr, "usage: decode_batch_bench file.mp3...\n");
        return 2;
    }
    QTemporaryDir work;
    const QString out = work.path() + "/";
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(work.path()));
    platform::setCurrentDirectory(QStringLiteral(SONABOX_PROGRAM_DIR));
    app::ProgramWindows windows(dialogs, QStringLiteral(SONABOX_PROGRAM_DIR));
    app::TMainForm& form = windows.MainForm;
    form.findChild<QLabel*>("decout")->setText(out);
    for (const QString& input : inputs) {
        const QFileInfo file(input);
        form.findChild<QListWidget*>("decodelist")->addItem(file.fileName());
        form.fullname.append(file.absoluteFilePath());
    }
    form.show();

    QElapsedTimer wall;
    const double processBefore = cpu(RUSAGE_SELF);
    const double guiBefore = cpu(RUSAGE_THREAD);
    wall.start();
    form.decstartClick();
    const double elapsed = wall.elapsed() / 1000.0;
    const double gui = cpu(RUSAGE_THREAD) - guiBefore;
    const double process = cpu(RUSAGE_SELF) - processBefore;

    const double childrenBefore = cpu(RUSAGE_CHILDREN);
    QElapsedTimer referenceWall;
    referenceWall.start();
    for (const QString& input : inputs)
        QProcess::execute("mpg123", {"-q", "-w", out + "reference.wav", input});
    const double referenceElapsed = referenceWall.elapsed() / 1000.0;
    const double reference = cpu(RUSAGE_CHILDREN) - childrenBefore;

    const double decoding = process - gui;
    std::printf("files                         %lld\n", static_cast<long long>(inputs.size()));
    std::printf("batch wall time               %.3f s\n", elapsed);
    std::printf("program CPU (all threads)     %.3f s\n", process);
    std::printf("  GUI thread                  %.3f s\n", gui);
    std::printf("  decoding (other threads)    %.3f s\n", decoding);
    std::printf("mpg123 -w, same files         %.3f s CPU, %.3f s wall\n", reference,
                referenceElapsed);
    std::printf("GUI thread / decoding         %.1f %%   (target: 5 %% or less)\n",
                decoding > 0 ? 100.0 * gui / decoding : 0.0);
    std::printf("program / mpg123 CPU          %.3f\n", reference > 0 ? process / reference : 0.0);
    // What the window adds to each file beyond the decoding: its progress window, the start and
    // the end of the file.
    std::printf("per-file overhead             %.1f ms   ((batch - mpg123 wall) / files)\n",
                1000.0 * (elapsed - referenceElapsed) / double(inputs.size()));
    return 0;
}
