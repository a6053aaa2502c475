#pragma once

#include "selection/engine/queued_file.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace app {

// One error box for the failures of a batch: how many of how many failed, then one line per
// failed file and its reason; with many, the first lines and "... and N more", the whole list
// in the details.
struct BatchSummary {
    QString text;
    QString details;
};

// `failures` holds one "file: reason" line per failed file. Nothing when none failed.
std::optional<BatchSummary> summariseFailures(const QStringList& failures, int total);

// The summary's line for one file: "song.wav: reason", "song.wav: not run: reason"; empty for
// a file that is done or that the user cancelled.
QString failureLine(const QString& source, selection::FileOutcome outcome, const QString& reason);

// The failure lines of a batch's results, in queue order. A failure that had a message box of
// its own is not told again.
template <class Result> QStringList failureLines(const std::vector<Result>& files) {
    QStringList lines;
    for (const Result& file : files) {
        if constexpr (requires { file.toldAlready; }) {
            if (file.toldAlready)
                continue;
        }
        const QString line = failureLine(file.source, file.outcome, file.reason);
        if (!line.isEmpty())
            lines.append(line);
    }
    return lines;
}

// How a batch's files ended.
struct BatchCounts {
    int done = 0;
    int failed = 0; // failed or not run
    int cancelled = 0;
};

template <class Result> BatchCounts countOutcomes(const std::vector<Result>& files) {
    BatchCounts counts;
    for (const Result& file : files) {
        if (file.outcome == selection::FileOutcome::Done)
            ++counts.done;
        else if (file.outcome == selection::FileOutcome::Cancelled)
            ++counts.cancelled;
        else
            ++counts.failed;
    }
    return counts;
}

// The desktop notification's text when a long batch ends: "3 files converted, 1 failed".
QString batchNoticeText(const BatchCounts& counts);

} // namespace app
