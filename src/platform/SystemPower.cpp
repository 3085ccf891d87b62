#include "platform/SystemPower.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QProcess>

#include "platform/RecordMode.h"

namespace platform {

bool QtSystemPower::PowerOff() {
    lastError_.clear();
    bool written = false;
    if (RecordPlatformRequest(QByteArrayLiteral("poweroff"), &written)) {
        if (!written) lastError_ = QStringLiteral("cannot write the record file");
        return written;
    }
    QDBusConnection bus = QDBusConnection::systemBus();
    if (bus.isConnected()) {
        QDBusInterface logind(QStringLiteral("org.freedesktop.login1"),
                              QStringLiteral("/org/freedesktop/login1"),
                              QStringLiteral("org.freedesktop.login1.Manager"), bus);
        if (logind.isValid()) {
            const QDBusReply<void> reply = logind.call(QStringLiteral("PowerOff"), false);
            if (reply.isValid()) return true;
            lastError_ = reply.error().message();
        } else {
            lastError_ = logind.lastError().message();
        }
    } else {
        lastError_ = bus.lastError().message();
    }
    // No logind on the bus (or it refused): the service manager's own command.
    QProcess systemctl;
    systemctl.start(QStringLiteral("systemctl"), {QStringLiteral("poweroff")});
    if (systemctl.waitForFinished(30000) && systemctl.exitStatus() == QProcess::NormalExit &&
        systemctl.exitCode() == 0)
        return true;
    const QString detail = QString::fromLocal8Bit(systemctl.readAllStandardError()).trimmed();
    lastError_ += (lastError_.isEmpty() ? QString() : QStringLiteral("; ")) +
                  (detail.isEmpty() ? systemctl.errorString() : detail);
    return false;
}

}  // namespace platform
