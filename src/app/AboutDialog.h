// TForm4, the about box ("关于"): the product line, the makers, and three links that open
// through the shell. Created once, shown modally from the help menu; UI thread only.
#pragma once

#include <QDialog>
#include <QLabel>

namespace platform {
class IShell;
}

// An underlined label that acts like a link: a click, Enter or Space emits `activated`.
class LinkLabel : public QLabel {
    Q_OBJECT

public:
    explicit LinkLabel(const QString& text, QWidget* parent = nullptr);

signals:
    void activated();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

class TForm4 : public QDialog {
    Q_OBJECT

public:
    // `shell` must outlive the box.
    explicit TForm4(platform::IShell* shell, QWidget* parent = nullptr);

    // The three link labels: "网址：…", "联系信箱：…", "桌面资源网址：…".
    LinkLabel* WebLink() const { return web_; }
    LinkLabel* MailLink() const { return mail_; }
    LinkLabel* DesktopLink() const { return desktop_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    platform::IShell* shell_;
    LinkLabel* web_ = nullptr;
    LinkLabel* mail_ = nullptr;
    LinkLabel* desktop_ = nullptr;
};
