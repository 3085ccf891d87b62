// TForm5, the password window ("密码窗口") of the administrator's lock, and the check that the
// main window runs when it is first shown. UI thread only.
//
// The user gets one attempt: "确定" with the stored password or the master password accepts
// the window; a wrong password shows "输入的密码错误,请和本机管理人员联系！" (caption "错误")
// and rejects it; "退出", Escape and the window manager's close reject it without a message.
// A rejected window means the program must end: the caller closes the main window.
#pragma once

#include <QDialog>

class QLineEdit;

namespace platform {
class IDialogs;
}

class TForm5 : public QDialog {
    Q_OBJECT

public:
    // `dialogs` must outlive the window.
    explicit TForm5(platform::IDialogs* dialogs, QWidget* parent = nullptr);

    // The start-up check: reads the lock (TANDREL_LOCK_FILE or the machine-wide file) without
    // changing it; with no lock returns true at once, else shows this window modally and
    // returns whether the right password was given. False means: end the program.
    bool RunCheck();

    QLineEdit* PasswordEdit() const { return edit_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void suiButton2Click();  // "确定"

    platform::IDialogs* dialogs_;
    QLineEdit* edit_ = nullptr;
};
