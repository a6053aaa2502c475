#include "app/engine/batch_summary.h"

#include <QFileInfo>

namespace app {

namespace {

constexpr int kLinesShown = 20;

} // namespace

std::optional<BatchSummary> summariseFailures(const QStringList& failures, int total) {
    if (failures.isEmpty())
        return std::nullopt;
    BatchSummary summary;
    summary.text = QStringLiteral("%1 of %2 files failed:").arg(failures.size()).arg(total);
    for (int i = 0; i < failures.size() && i < kLinesShown; ++i)
        summary.text += QLatin1Char('\r') + failures[i];
    if (failures.size() > kLinesShown) {
        summary.text += QStringLiteral("\r... and %1 more").arg(failures.size() - kLinesShown);
        summary.details = failures.join(QLatin1Char('\n'));
    }
    return summary;
}

QString batchNoticeText(const BatchCounts& counts) {
    const QString converted = counts.done == 1
                                  ? QStringLiteral("1 file converted")
                                  : QStringLiteral("%1 files converted").arg(counts.done);
    return QStringLiteral("%1, %2 failed").arg(converted).arg(counts.failed);
}

QString failureLine(const QString& source, selection::FileOutcome outcome, const QString& reason) {
    const QString name = QFileInfo(source).fileName() + QStringLiteral(": ");
    switch (outcome) {
    case selection::FileOutcome::Failed:
        return name + reason;
    case selection::FileOutcome::NotRun:
        return name + QStringLiteral("not run: ") + reason;
    case selection::FileOutcome::Done:
    case selection::FileOutcome::Cancelled:
        break;
    }
    return QString();
}

} // namespace app
