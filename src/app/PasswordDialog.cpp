#include "app/PasswordDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/WindowPicture.h"
#include "platform/Dialogs.h"
#include "platform/PasswordLock.h"
#include "platform/Skins.h"

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace

TForm5::TForm5(platform::IDialogs* dialogs, QWidget* parent) : QDialog(parent), dialogs_(dialogs) {
    setWindowTitle(U("密码窗口"));
    setAccessibleName(windowTitle());
    // A title bar without a close button: the window ends through its own buttons.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(360, 207);

    QLabel* picture = PictureLabel(QSize(96, 110));

    auto* prompt = new QLabel(U("请输入您设置的密码："));
    prompt->setAccessibleName(prompt->text());
    edit_ = new QLineEdit;
    edit_->setObjectName(QStringLiteral("suiEdit1"));
    edit_->setAccessibleName(prompt->text());
    edit_->setEchoMode(QLineEdit::Password);
    // Every character shows as "*", whatever the style's own mask character.
    edit_->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
    prompt->setBuddy(edit_);

    auto* ok = new QPushButton(U("确定"));
    ok->setObjectName(QStringLiteral("suiButton2"));
    ok->setAccessibleName(ok->text());
    ok->setDefault(true);
    auto* quit = new QPushButton(U("退出"));
    quit->setObjectName(QStringLiteral("suiButton1"));
    quit->setAccessibleName(quit->text());
    quit->setAutoDefault(false);
    connect(ok, &QPushButton::clicked, this, &TForm5::suiButton2Click);
    connect(quit, &QPushButton::clicked, this, &QDialog::reject);

    auto* right = new QVBoxLayout;
    right->addStretch();
    right->addWidget(prompt);
    right->addWidget(edit_);
    right->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(quit);
    right->addLayout(buttons);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->addWidget(picture, 0, Qt::AlignVCenter);
    layout->addSpacing(12);
    layout->addLayout(right, 1);
}

bool TForm5::RunCheck() {
    if (!platform::lock::ReadLock(platform::lock::LockFile()).on) return true;
    return exec() == QDialog::Accepted;
}

void TForm5::showEvent(QShowEvent* event) {
    edit_->clear();
    platform::skins::ApplySavedSkin(this);  // Button1Click
    QDialog::showEvent(event);
    edit_->setFocus();
}

void TForm5::suiButton2Click() {
    // Read again, read-only: the check never creates or changes the lock. A lock removed
    // meanwhile no longer guards anything.
    const platform::lock::Lock lock = platform::lock::ReadLock(platform::lock::LockFile());
    if (!lock.on || platform::lock::Accepts(lock, edit_->text())) {
        accept();
        return;
    }
    dialogs_->ShowMessage(this, U("错误"), U("输入的密码错误,请和本机管理人员联系！"),
                          platform::MessageIcon::Error, platform::MessageButton::Ok);
    reject();
}
