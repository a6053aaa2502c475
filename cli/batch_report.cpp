#include "cli/batch_report.h"

#include "platform/terminal.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

namespace cli {

namespace {

void writeTo(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

QString outcomeWord(selection::FileOutcome outcome) {
    switch (outcome) {
    case selection::FileOutcome::Done:
        return QStringLiteral("done");
    case selection::FileOutcome::Failed:
        return QStringLiteral("failed");
    case selection::FileOutcome::NotRun:
        return QStringLiteral("not run");
    case selection::FileOutcome::Cancelled:
        break;
    }
    return QStringLiteral("cancelled");
}

BatchReport::BatchReport(const QString& doing, std::vector<double> seconds, bool json)
    : doing_(doing), estimate_(std::move(seconds)), json_(json),
      terminal_(platform::standardErrorIsTerminal()) {
    clock_.start();
}

void BatchReport::started(int position, int count, const QString& source, const QString& output) {
    endLine();
    position_ = position;
    count_ = count;
    name_ = QFileInfo(source).fileName();
    fraction_ = 0;
    lastPercent_ = -1;
    fileClock_.start();
    estimate_.update(position - 1, 0, double(clock_.elapsed()) / 1000);
    if (terminal_)
        drawLine();
    else
        writeTo(
            stderr,
            QStringLiteral("%1 %2 of %3: %4\n").arg(doing_).arg(position).arg(count).arg(name_));
    if (json_)
        emitJson({{"event", "started"},
                  {"position", position},
                  {"count", count},
                  {"source", source},
                  {"output", output}});
}

void BatchReport::progress(double fraction) {
    fraction_ = fraction;
    estimate_.update(position_ - 1, fraction, double(clock_.elapsed()) / 1000);
    const int percent = int(fraction * 100);
    if (percent == lastPercent_)
        return;
    lastPercent_ = percent;
    if (terminal_)
        drawLine();
    if (json_) {
        QJsonObject event{{"event", "progress"}, {"position", position_}, {"percent", percent}};
        if (const auto speed = estimate_.speed())
            event.insert("speed", *speed);
        if (const auto left = estimate_.secondsLeft())
            event.insert("secondsLeft", *left);
        emitJson(event);
    }
}

void BatchReport::finished(const QString& source, const QString& output,
                           selection::FileOutcome outcome, const QString& reason,
                           const QString& note) {
    QString line = QStringLiteral("%1: %2").arg(QFileInfo(source).fileName(), outcomeWord(outcome));
    if (outcome == selection::FileOutcome::Done) {
        line += QStringLiteral(", ") + output;
        if (!note.isEmpty())
            line += QStringLiteral(" (") + note + QLatin1Char(')');
    } else if (!reason.isEmpty())
        line += QStringLiteral(": ") + reason;
    // On a terminal the file's progress line becomes its result line.
    writeTo(stderr,
            (lineOpen_ ? QStringLiteral("\r\x1b[K") : QString()) + line + QLatin1Char('\n'));
    lineOpen_ = false;
    if (json_) {
        QJsonObject event{{"event", "done"},
                          {"source", source},
                          {"output", output},
                          {"verdict", outcomeWord(outcome)},
                          {"reason", reason}};
        if (!note.isEmpty())
            event.insert(QStringLiteral("note"), note);
        emitJson(event);
    }
}

void BatchReport::albumFailed(const QString& source, const QString& output, const QString& reason) {
    endLine();
    writeTo(stderr, QStringLiteral("%1: %2: %3\n")
                        .arg(QFileInfo(source).fileName(),
                             outcomeWord(selection::FileOutcome::Failed), reason));
    if (json_)
        emitJson({{"event", "album"},
                  {"source", source},
                  {"output", output},
                  {"verdict", outcomeWord(selection::FileOutcome::Failed)},
                  {"reason", reason}});
}

void BatchReport::batchDone(int files, int done, int failed, bool interrupted) {
    endLine();
    if (json_)
        emitJson({{"event", "batch"},
                  {"files", files},
                  {"done", done},
                  {"failed", failed},
                  {"interrupted", interrupted}});
}

void BatchReport::say(const QString& text) {
    endLine();
    writeTo(stderr, QStringLiteral("sonabox: ") + text + QLatin1Char('\n'));
}

void BatchReport::drawLine() {
    QString line = QStringLiteral("[%1/%2] %3 %4%")
                       .arg(position_)
                       .arg(count_)
                       .arg(name_)
                       .arg(int(fraction_ * 100), 3);
    const double fileSeconds = estimate_.fileSeconds(position_ - 1);
    const double spent = double(fileClock_.elapsed()) / 1000;
    if (fraction_ > 0 && spent > 0 && fileSeconds > 0)
        line += QStringLiteral("  %1x").arg(fraction_ * fileSeconds / spent, 0, 'f', 1);
    if (const auto left = estimate_.secondsLeft())
        line += QStringLiteral("  %1 left").arg(selection::durationText(*left));
    // Back to the start of the line, and clear what the last drawing left.
    writeTo(stderr, QStringLiteral("\r\x1b[K") + line);
    lineOpen_ = true;
}

void BatchReport::endLine() {
    if (!lineOpen_)
        return;
    writeTo(stderr, QStringLiteral("\n"));
    lineOpen_ = false;
}

void BatchReport::emitJson(const QJsonObject& object) {
    writeTo(stdout, QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) +
                        QLatin1Char('\n'));
}

} // namespace cli
