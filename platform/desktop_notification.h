#pragma once

#include <QString>

namespace platform {

// Shows a desktop notification through the session's notification service
// (org.freedesktop.Notifications on D-Bus), without waiting for its answer. False, and nothing
// shown, when no such service runs or the message cannot be sent.
bool notifyDesktop(const QString& appName, const QString& summary, const QString& body);

} // namespace platform
