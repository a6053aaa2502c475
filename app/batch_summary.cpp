#include "app/batch_summary.h"

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

} // namespace app
