#pragma once

#include <QApplication>

namespace platform {
class Dialogs;
}

namespace app {

// The application title, the caption of the default error report.
inline const QString kApplicationTitle = QStringLiteral("Sonabox");

// The text as the default error report shows it: with a full stop appended when its last
// character sorts after ".".
QString withClosingFullStop(const QString& text);

// The GUI application. Every exception that escapes an event handler ends that handler and
// reaches the default error report here: a stop box captioned "Sonabox" with the error's text.
// The program then goes on.
class SonaboxApplication : public QApplication {
    Q_OBJECT
public:
    SonaboxApplication(int& argc, char** argv, platform::Dialogs& dialogs);

    bool notify(QObject* receiver, QEvent* event) override;

    void reportError(const QString& text);

private:
    platform::Dialogs& dialogs_;
};

} // namespace app
