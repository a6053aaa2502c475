#include "app/sonabox_application.h"

#include "platform/dialogs.h"

#include <QFont>
#include <QStyleFactory>

#include <exception>

namespace app {

QString withClosingFullStop(const QString& text) {
    if (!text.isEmpty() && text.back() > QLatin1Char('.'))
        return text + QLatin1Char('.');
    return text;
}

SonaboxApplication::SonaboxApplication(int& argc, char** argv, platform::Dialogs& dialogs)
    : QApplication(argc, argv), dialogs_(dialogs) {
    setApplicationName(kApplicationTitle);
    // One style and an 8-point sans-serif font everywhere keep the fixed pixel layout of the
    // windows the same on every desktop.
    setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QFont font(QStringLiteral("Sans Serif"), 8);
    font.setStyleHint(QFont::SansSerif);
    setFont(font);
}

bool SonaboxApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        reportError(QString::fromUtf8(error.what()));
    } catch (...) {
        reportError(QStringLiteral("Unexpected error"));
    }
    return false;
}

void SonaboxApplication::reportError(const QString& text) {
    dialogs_.message(activeModalWidget() ? activeModalWidget() : activeWindow(),
                     platform::MessageIcon::Stop, kApplicationTitle, withClosingFullStop(text));
}

} // namespace app
