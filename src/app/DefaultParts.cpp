// The stand-ins that keep each part's place in the main window until the real part is plugged
// in (see MainWindowParts.h).
#include <QGroupBox>
#include <QMenu>
#include <QPalette>
#include <QSlider>
#include <QToolButton>
#include <QWidget>

#include "app/MainWindowParts.h"

namespace app {

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

class DefaultPlayerPanel final : public IPlayerPanel {
public:
    explicit DefaultPlayerPanel(IMainWindowHost& host) {
        group_ = new QGroupBox(host.Window());
        group_->setObjectName(QStringLiteral("suiRadioGroup3"));
        group_->setAccessibleName(U("播放器"));
        group_->resize(329, 289);

        auto* video = new QWidget(group_);
        video->setObjectName(QStringLiteral("Panel2"));
        video->setAccessibleName(U("视频"));
        video->setGeometry(8, 16, 313, 217);
        video->setAutoFillBackground(true);
        QPalette black = video->palette();
        black.setColor(QPalette::Window, Qt::black);
        video->setPalette(black);

        auto* seek = new QSlider(Qt::Horizontal, group_);
        seek->setObjectName(QStringLiteral("suiTrackBar1"));
        seek->setAccessibleName(U("播放进度"));
        seek->setGeometry(8, 236, 313, 18);
        seek->setValue(0);
        seek->setEnabled(false);

        const char* hints[] = {"播放", "暂停", "停止", "声音/静音", "捕捉快照", "快照设置"};
        const char* names[] = {"Image3", "Image4", "Image5", "Image14", "Image24", "Image26"};
        for (int i = 0; i < 6; ++i) {
            auto* button = new QToolButton(group_);
            button->setObjectName(QString::fromLatin1(names[i]));
            button->setText(U(hints[i]));
            button->setToolTip(U(hints[i]));
            button->setAccessibleName(U(hints[i]));
            button->setGeometry(8 + i * 52, 257, 48, 26);
            button->setEnabled(false);  // nothing to play with yet
        }
    }

    QWidget* Widget() override { return group_; }
    void ReadSnapshotFormat() override {}
    void ResetSeekBar() override {}
    void SetSelectedSourceFile(const QString&) override {}
    void PlaySelected() override {}
    void Stop() override {}
    void StopAndRepaint() override {}
    void DetachHandlers() override {}

private:
    QGroupBox* group_ = nullptr;
};

class DefaultInformationWindow final : public IInformationWindow {
public:
    void ShowFor(const QString&) override {}
};

class DefaultSkins final : public ISkins {
public:
    void ApplySaved(QWidget*) override {}
    void FillSkinMenu(QMenu* menu, QWidget*) override {
        const char* captions[] = {
            "微软MSN皮肤",     "冬天的色彩皮肤", "WMP10皮肤",      "WinXP标准皮肤",
            "Protein样式皮肤", "RealOne风格皮肤", "深蓝色皮肤",     "蓝色玻璃皮肤",
            "Vista风格皮肤",   "Mac苹果皮肤",     "深绿色皮肤",     "桔红色皮肤",
            "绿色玻璃皮肤",    "时尚蓝色blue皮肤", "时尚的Cyan皮肤", "运动黑色皮肤",
            "XP绿色皮肤"};
        for (const char* caption : captions) menu->addAction(U(caption));
    }
};

class DefaultHelpActions final : public IHelpActions {
public:
    void OpenHelp() override {}
    void ShowUpdateDialog() override {}
    void OpenWebSite() override {}
    void OpenMailAddress() override {}
    void ShowAbout() override {}
};

class DefaultPasswordCheck final : public IPasswordCheck {
public:
    bool CheckAtStart(QWidget*) override { return true; }
};

}  // namespace

std::unique_ptr<ISkins> MakeDefaultSkins(IMainWindowHost&) {
    return std::make_unique<DefaultSkins>();
}
std::unique_ptr<IHelpActions> MakeDefaultHelpActions(IMainWindowHost&) {
    return std::make_unique<DefaultHelpActions>();
}
std::unique_ptr<IPasswordCheck> MakeDefaultPasswordCheck(IMainWindowHost&) {
    return std::make_unique<DefaultPasswordCheck>();
}
std::unique_ptr<IInformationWindow> MakeDefaultInformationWindow(IMainWindowHost&) {
    return std::make_unique<DefaultInformationWindow>();
}
std::unique_ptr<IPlayerPanel> MakeDefaultPlayerPanel(IMainWindowHost& host) {
    return std::make_unique<DefaultPlayerPanel>(host);
}

}  // namespace app
