#pragma once

#include <QString>

#include <exception>
#include <utility>

namespace widgets {
class Dialogs;
}

// The default error report, and the guard that every event handler runs inside: an exception
// must not leave a Qt slot, so it is caught at the handler's boundary and reported there. The
// handler ends at that point; what it changed before stays changed.
namespace widgets {

// The application title, the caption of the default error report.
inline const QString kApplicationTitle = QStringLiteral("Sonabox");

// The text as the default error report shows it: with a full stop appended when its last
// character sorts after ".".
QString withClosingFullStop(const QString& text);

// A stop box captioned "Sonabox" over the active window, with the text and its full stop.
void reportError(widgets::Dialogs& dialogs, const QString& text);

// Runs a handler; an exception that leaves it is shown in the default error report.
template <class Handler> void guarded(widgets::Dialogs& dialogs, Handler&& handler) noexcept {
    try {
        try {
            std::forward<Handler>(handler)();
        } catch (const std::exception& error) {
            reportError(dialogs, QString::fromUtf8(error.what()));
        } catch (...) {
            reportError(dialogs, QStringLiteral("Unexpected error"));
        }
    } catch (...) {
        // The report itself failed (no memory for a message box): nothing more can be shown.
    }
}

// A slot for connect(): calls the member function of `object` inside the guard.
template <class Object, class... Args>
auto guardedSlot(widgets::Dialogs& dialogs, Object* object, void (Object::*handler)(Args...)) {
    return [&dialogs, object, handler](Args... args) {
        guarded(dialogs, [&] { (object->*handler)(args...); });
    };
}

} // namespace widgets
