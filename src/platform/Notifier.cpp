#include "platform/Notifier.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace platform {

bool QtNotifier::Notify(const QString& summary, const QString& body) {
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // app_name, replaces_id (0: a new one), app_icon (the installed icon's name), summary, body,
    // actions, hints, expire timeout (-1: the server's default).
    call << QCoreApplication::applicationName() << 0u << QStringLiteral("tandrel") << summary
         << body << QStringList() << QVariantMap() << -1;
    return bus.send(call);
}

}  // namespace platform
