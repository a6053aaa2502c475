#include "widgets/dialogs.h"

#include <QDesktopServices>
#include <QInputDialog>
#include <QMessageBox>
#include <QUrl>

namespace widgets {

namespace {

QMessageBox::Icon boxIcon(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Error:
    case MessageIcon::Stop:
        break;
    }
    return QMessageBox::Critical;
}

// Message texts separate their lines with carriage returns, which a label does not break at.
QString displayed(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

} // namespace

void QtDialogs::message(QWidget* parent, MessageIcon icon, const QString& caption,
                        const QString& text) {
    QMessageBox box(boxIcon(icon), caption, displayed(text), QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void QtDialogs::message(QWidget* parent, MessageIcon icon, const QString& caption,
                        const QString& text, const QString& details) {
    QMessageBox box(boxIcon(icon), caption, displayed(text), QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDetailedText(details);
    box.exec();
}

std::optional<QString> QtDialogs::textInput(QWidget* parent, const QString& caption,
                                            const QString& prompt) {
    bool accepted = false;
    const QString text =
        QInputDialog::getText(parent, caption, prompt, QLineEdit::Normal, QString(), &accepted);
    if (!accepted)
        return std::nullopt;
    return text;
}

void QtDialogs::openUrl(const QUrl& target) {
    // Without a URL opener (xdg-open) the desktop does nothing at all: say so.
    if (!QDesktopServices::openUrl(target))
        showError(*this, nullptr,
                  QStringLiteral("No program was found to open %1.\rInstall xdg-utils to open "
                                 "links and the help text.")
                      .arg(target.toDisplayString()));
}

void showError(Dialogs& dialogs, QWidget* parent, const QString& text) {
    dialogs.message(parent, MessageIcon::Error, QStringLiteral("Error"), text);
}

} // namespace widgets
