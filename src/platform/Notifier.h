// Desktop notifications: a short message in the desktop's notification area, for news the user
// should hear of while looking at another window (a batch that has ended). UI thread.
#pragma once

#include <QString>

namespace platform {

class INotifier {
public:
    virtual ~INotifier() = default;
    // Asks the desktop to show `summary` with `body`, and returns at once: nothing waits for
    // the notification to be shown or closed. False when there is no session bus to ask; a
    // session without a notification service drops the request, and nothing else happens.
    virtual bool Notify(const QString& summary, const QString& body) = 0;
};

// org.freedesktop.Notifications.Notify on the session bus, sent without waiting for the
// answer. The session bus is the one DBUS_SESSION_BUS_ADDRESS names; without that variable
// there is no desktop session to tell, and no bus is started for it.
class QtNotifier final : public INotifier {
public:
    bool Notify(const QString& summary, const QString& body) override;
};

}  // namespace platform
