// Switching the computer off when a batch has ended (the after-all-done choice "直接关闭计算机").
// UI thread.
#pragma once

#include <QString>

namespace platform {

class ISystemPower {
public:
    virtual ~ISystemPower() = default;
    // Asks the system to shut down and power off at once, closing other programs without asking
    // them. True when the request was accepted (the machine is then going down); false when it
    // was refused (no permission, no service), with the reason in LastError(). The program keeps
    // running either way until the system ends it.
    virtual bool PowerOff() = 0;
    virtual QString LastError() const = 0;
};

// logind's Manager.PowerOff over the system bus (not interactive: no password prompt), else
// "systemctl poweroff". There is no privilege to enable first on this system.
//
// Record mode: when TANDREL_RECORD_PLATFORM names a file, each request is appended to it as the
// line "poweroff" and reported as accepted, and nothing else happens. Black-box tests use it so
// that a test machine is never switched off.
class QtSystemPower final : public ISystemPower {
public:
    bool PowerOff() override;
    QString LastError() const override { return lastError_; }

private:
    QString lastError_;
};

}  // namespace platform
