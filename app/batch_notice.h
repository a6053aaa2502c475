#pragma once

#include "app/engine/batch_summary.h"

#include <QElapsedTimer>
#include <QString>

class QWidget;

namespace app {

// Tells the desktop that a batch has ended when it took long enough for the user to turn to
// something else and the main window is not the active one. The summary box still comes: the
// notification is never the only word, and nothing is shown without a notification service.
class BatchNotice {
public:
    explicit BatchNotice(const QString& summary) : summary_(summary) { clock_.start(); }

    void batchEnded(const QWidget& mainWindow, const BatchCounts& counts) const;

private:
    QString summary_;
    QElapsedTimer clock_;
};

} // namespace app
