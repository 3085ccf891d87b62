#include "app/WindowParts.h"

#include "app/AboutDialog.h"
#include "app/Links.h"
#include "app/Menus.h"
#include "app/PasswordDialog.h"
#include "app/UpdateDialog.h"
#include "engine/FFmpegVCL.h"
#include "platform/Downloader.h"
#include "platform/Skins.h"
#include "probe/InfoDialog.h"

namespace app {

namespace {

class WindowSkins final : public ISkins {
public:
    void ApplySaved(QWidget* window) override { platform::skins::ApplySavedSkin(window); }
    void FillSkinMenu(QMenu* menu, QWidget* mainWindow) override {
        menus::FillSkinMenu(menu, mainWindow);
    }
};

class WindowHelpActions final : public IHelpActions {
public:
    explicit WindowHelpActions(IMainWindowHost& host)
        : host_(host),
          about_(std::make_unique<TForm4>(&host.Shell(), host.Window())),
          update_(std::make_unique<TForm6>(&downloader_, &host.Shell(), platform::UpdateUrl(),
                                           host.Window())) {}

    void OpenHelp() override { links::OpenHelp(host_.Shell()); }
    void ShowUpdateDialog() override { update_->exec(); }
    void OpenWebSite() override { links::OpenWebSite(host_.Shell()); }
    void OpenMailAddress() override { links::OpenMail(host_.Shell()); }
    void ShowAbout() override { about_->exec(); }

private:
    IMainWindowHost& host_;
    platform::QtDownloader downloader_;
    std::unique_ptr<TForm4> about_;
    std::unique_ptr<TForm6> update_;
};

class WindowPasswordCheck final : public IPasswordCheck {
public:
    explicit WindowPasswordCheck(IMainWindowHost& host)
        : window_(std::make_unique<TForm5>(&host.Dialogs(), host.Window())) {}
    bool CheckAtStart(QWidget*) override { return window_->RunCheck(); }

private:
    std::unique_ptr<TForm5> window_;
};

class WindowInformation final : public IInformationWindow {
public:
    explicit WindowInformation(IMainWindowHost& host)
        : host_(host), window_(std::make_unique<TForm9>(host.Window())) {}
    void ShowFor(const QString& sourceFile) override {
        window_->ShowFor(host_.Engine().Probe(), sourceFile);
    }

private:
    IMainWindowHost& host_;
    std::unique_ptr<TForm9> window_;
};

}  // namespace

std::unique_ptr<ISkins> MakeWindowSkins(IMainWindowHost&) {
    return std::make_unique<WindowSkins>();
}
std::unique_ptr<IHelpActions> MakeWindowHelpActions(IMainWindowHost& host) {
    return std::make_unique<WindowHelpActions>(host);
}
std::unique_ptr<IPasswordCheck> MakeWindowPasswordCheck(IMainWindowHost& host) {
    return std::make_unique<WindowPasswordCheck>(host);
}
std::unique_ptr<IInformationWindow> MakeWindowInformation(IMainWindowHost& host) {
    return std::make_unique<WindowInformation>(host);
}

}  // namespace app
