#pragma once

#include <QString>
#include <QStringList>

#include <optional>

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

} // namespace app
