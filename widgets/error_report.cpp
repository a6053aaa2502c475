#include "widgets/error_report.h"

#include "widgets/dialogs.h"

#include <QApplication>

namespace widgets {

QString withClosingFullStop(const QString& text) {
    if (!text.isEmpty() && text.back() > QLatin1Char('.'))
        return text + QLatin1Char('.');
    return text;
}

void reportError(widgets::Dialogs& dialogs, const QString& text) {
    QWidget* modal = QApplication::activeModalWidget();
    dialogs.message(modal ? modal : QApplication::activeWindow(), widgets::MessageIcon::Stop,
                    kApplicationTitle, withClosingFullStop(text));
}

} // namespace widgets
