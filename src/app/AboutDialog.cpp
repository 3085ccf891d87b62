#include "app/AboutDialog.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Links.h"
#include "app/WindowPicture.h"
#include "platform/Shell.h"
#include "platform/Skins.h"

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace

LinkLabel::LinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setTextFormat(Qt::PlainText);
    setWordWrap(true);  // a long address continues on the next line
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(text);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit activated();
    QLabel::mouseReleaseEvent(event);
}

void LinkLabel::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
        event->key() == Qt::Key_Space) {
        emit activated();
        return;
    }
    QLabel::keyPressEvent(event);
}

TForm4::TForm4(platform::IShell* shell, QWidget* parent) : QDialog(parent), shell_(shell) {
    setWindowTitle(U("关于"));
    setAccessibleName(windowTitle());
    setFixedSize(410, 283);

    QLabel* picture = PictureLabel(QSize(137, 145));

    auto* product = new QLabel(QStringLiteral("Tandrel   1.7.5"));
    QFont bold = product->font();
    bold.setBold(true);
    product->setFont(bold);
    product->setAccessibleName(product->text());
    auto* author = new QLabel(U("作者：Orvane开发组"));
    author->setAccessibleName(author->text());

    web_ = new LinkLabel(U("网址：") + QLatin1String(links::kWebSite));
    mail_ = new LinkLabel(U("联系信箱：") + QLatin1String(links::kMailAddress));
    desktop_ = new LinkLabel(U("桌面资源网址：") + QLatin1String(links::kDesktopSite));
    connect(web_, &LinkLabel::activated, this, [this] { links::OpenWebSite(*shell_); });
    connect(mail_, &LinkLabel::activated, this, [this] { links::OpenMail(*shell_); });
    connect(desktop_, &LinkLabel::activated, this, [this] { links::OpenDesktopSite(*shell_); });

    auto* ok = new QPushButton(U("确定"));
    ok->setAccessibleName(ok->text());
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* text = new QVBoxLayout;
    text->addWidget(product);
    text->addSpacing(8);
    text->addWidget(author);
    text->addSpacing(8);
    text->addWidget(web_);
    text->addWidget(mail_);
    text->addWidget(desktop_);
    text->addStretch();

    auto* top = new QHBoxLayout;
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addSpacing(10);
    top->addLayout(text, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 16, 12, 12);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);
}

void TForm4::showEvent(QShowEvent* event) {
    platform::skins::ApplySavedSkin(this);  // Button1Click
    QDialog::showEvent(event);
}
