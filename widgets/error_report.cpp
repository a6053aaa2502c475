#include "widgets/error_report.h"

#include "platform/dialogs.h"

#include <QApplication>

namespace widgets {

QString withClosingFullStop(const QString& text) {
    if (!text.isEmpty() && text.back() > QLatin1Char('.'))
        return text + QLatin1Char('.');
    return text;
}

void reportError(platform::Dialogs& dialogs, const QString& text) {
    QWidget* modal = QApplication::activeModalWidget();
    dialogs.message(modal ? modal : QApplication::activeWindow(), platform::MessageIcon::Stop,
                    kApplicationTitle, withClosingFullStop(text));
}

} // namespace widgets
