#include "platform/desktop_notification.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QVariantMap>

namespace platform {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
constexpr int kShownMs = 10000;

} // namespace

bool notifyDesktop(const QString& appName, const QString& summary, const QString& body) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    // Asking first keeps D-Bus from starting a service that is installed but not running.
    QDBusConnectionInterface* names = bus.interface();
    if (!names || !names->isServiceRegistered(kService).value())
        return false;
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, QStringLiteral("/org/freedesktop/Notifications"),
                                       kService, QStringLiteral("Notify"));
    call.setAutoStartService(false);
    call << appName << quint32(0) << QStringLiteral("sonabox") << summary << body << QStringList()
         << QVariantMap() << qint32(kShownMs);
    // Sent without waiting for the reply: a service that does not answer must not hold the
    // window (the reply, the notification's number, is of no use here).
    return bus.send(call);
}

} // namespace platform
