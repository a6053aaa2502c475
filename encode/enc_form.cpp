#include "encode/enc_form.h"

#include "encode/console_window.h"
#include "encode/engine/encoder_job.h"
#include "encode/engine/encoder_process.h"
#include "widgets/flat_button.h"
#include "widgets/window_geometry.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QTimer>

#include <algorithm>

namespace encode {

namespace {

// The designed client area, and the row of the Cancel button below it.
constexpr int kDesignWidth = 225;
constexpr int kHeight = 97 + 28;

QLabel* label(QWidget* parent, const char* name, const QString& text, int x, int y, int width,
              bool fixed) {
    auto* widget = new QLabel(text, parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setTextFormat(Qt::PlainText);
    widget->move(x, y);
    widget->resize(fixed ? width : std::max(width, widget->sizeHint().width()),
                   widget->sizeHint().height());
    return widget;
}

} // namespace

TEncForm::TEncForm(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("EncForm"));
    setWindowTitle(QStringLiteral("Encoding..."));
    setFixedSize(kDesignWidth, kHeight);
    setModal(true);

    Label2 = label(this, "Label2", QStringLiteral("Please wait, this will not take long..:-)"), 24,
                   8, 173, false);
    // A wide desktop font would push the text past the window's edge: move it left instead.
    Label2->move(std::max(0, std::min(24, width() - Label2->width())), 8);
    auto* GroupBox1 = new QGroupBox(QStringLiteral("Source : "), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(0, 32, 225, 33);
    Label1 = label(GroupBox1, "Label1", QStringLiteral("Encoding:"), 8, 14, 48, false);
    encinfile = label(GroupBox1, "encinfile", QString(), 64, 14, 153, true);
    auto* GroupBox2 = new QGroupBox(QStringLiteral("Output : "), this);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    GroupBox2->setGeometry(0, 64, 225, 33);
    Label3 = label(GroupBox2, "Label3", QStringLiteral("Target:"), 8, 14, 34, false);
    encoutfile = label(GroupBox2, "encoutfile", QString(), 48, 14, 169, true);

    cancel = new widgets::FlatButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancel"));
    cancel->setGeometry(75, 100, 75, 21);
    cancel->setAccessibleName(QStringLiteral("Cancel encoding"));
    connect(cancel, &QAbstractButton::clicked, this, &TEncForm::reject);
    // Wider for a longer caption: the rows grow, Cancel stays in the middle.
    widgets::keepProgressWindowUsable(*this, *cancel, kDesignWidth, [this](int width) {
        const int extra = width - kDesignWidth;
        setFixedSize(width, kHeight);
        for (auto* box : findChildren<QGroupBox*>(QString(), Qt::FindDirectChildrenOnly))
            box->resize(width, box->height());
        encinfile->resize(153 + extra, encinfile->height());
        encoutfile->resize(169 + extra, encoutfile->height());
        cancel->move((width - cancel->width()) / 2, cancel->y());
    });
    encinfile->setAccessibleDescription(QStringLiteral("The WAV file being encoded"));
    encoutfile->setAccessibleDescription(QStringLiteral("The MPEG file being written"));

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    connect(Timer1, &QTimer::timeout, this, &TEncForm::Timer1Timer);
    FormCreate();
}

void TEncForm::FormCreate() {
    Timer1->start(1);
}

void TEncForm::Timer1Timer() {
    Timer1->stop();
    runShown();
    close();
}

void TEncForm::serveBatch() {
    Timer1->stop();
    servesBatch_ = true;
}

EncoderRun TEncForm::runShown() {
    if (EncoderJob.CmdShow.isEmpty())
        EncoderJob.CmdShow = QStringLiteral("0");
    running_ = true;
    outcome_ = runJobRecord(program_, this, control_);
    running_ = false;
    return outcome_;
}

void TEncForm::reject() {
    batchCancelled_ = true;
    if (servesBatch_) {
        // An encoder that has exited already, its end not yet seen, finished its file; the
        // batch ends after it all the same.
        if (running_)
            control_.cancel();
        cancel->setEnabled(false);
        return;
    }
    if (running_) {
        // The window closes by itself once the encoder has ended.
        control_.cancel();
        cancel->setEnabled(false);
        return;
    }
    if (Timer1->isActive()) {
        // Cancelled before the encoder started: it never runs.
        Timer1->stop();
        outcome_.cancelled = outcome_.cancelRequested = true;
    }
    QDialog::reject();
}

void TEncForm::closeEvent(QCloseEvent* event) {
    // The encoder can't be interrupted from here; the window goes when the encoder has ended.
    if (running_ || servesBatch_)
        event->ignore();
    else
        QDialog::closeEvent(event);
}

EncoderRun runJobRecord(const QString& program, QWidget* consoleParent,
                        EncoderRunControl& control) {
    EncoderRun run;
    run.exitCode = RunEncoder(program, EncoderJob.commandLine(), EncoderJob.CmdShow.toInt(),
                              consoleParent, &control);
    run.cancelled = control.cancelled();
    run.cancelRequested = control.cancelRequested();
    run.lastLine = control.lastLine();
    run.notes = control.notes();
    return run;
}

QPoint centredOver(const QRect& mainOuter, const QSize& windowOuter) {
    return {mainOuter.width() / 2 - windowOuter.width() / 2 + mainOuter.left(),
            mainOuter.height() / 2 - windowOuter.height() / 2 + mainOuter.top()};
}

} // namespace encode
