#include "app/batch_notice.h"

#include "platform/desktop_notification.h"

#include <QWidget>

namespace app {

namespace {

constexpr qint64 kLongBatchMs = 10000;

} // namespace

void BatchNotice::batchEnded(const QWidget& mainWindow, const BatchCounts& counts) const {
    if (clock_.elapsed() <= kLongBatchMs || mainWindow.isActiveWindow())
        return;
    platform::notifyDesktop(QStringLiteral("Sonabox"), summary_, batchNoticeText(counts));
}

} // namespace app
