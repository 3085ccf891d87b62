// The player group in the main window: the player panel (src/player) behind the window's
// IPlayerPanel seam, with the window's dialogs, shell, status bar, log and job list.
#include <QPointer>

#include "app/MainWindowParts.h"
#include "player/PlayerPanel.h"

namespace app {
namespace {

class PlayerPart final : public IPlayerPanel {
public:
    explicit PlayerPart(IMainWindowHost& host) {
        TPlayerPanelServices services;
        services.dialogs = &host.Dialogs();
        services.shell = &host.Shell();
        services.statusText = [&host](const QString& text) { host.ShowStatus(text); };
        services.logLine = [&host](const QString& line) { host.AppendLog(line); };
        services.focusJobList = [&host] { host.FocusJobList(); };
        panel_ = new TPlayerPanel(std::move(services), host.Window());
    }
    // The panel goes before the window's other children: its player stops first.
    ~PlayerPart() override { delete panel_.data(); }

    QWidget* Widget() override { return panel_; }
    void ReadSnapshotFormat() override { panel_->Button55Click(); }
    void ResetSeekBar() override { panel_->ResetSeekBar(); }
    void SetSelectedSourceFile(const QString& path) override {
        panel_->SetSelectedSourceFile(path);
    }
    void PlaySelected() override { panel_->Button31Click(); }
    void Stop() override { panel_->Player().Stop(true); }
    void StopAndRepaint() override {
        panel_->StopPlayer();
        panel_->SetSelectedSourceFile(QString());  // its row is gone: "停止" reopens nothing
    }
    void DetachHandlers() override { panel_->DetachPlayerHandlers(); }

private:
    QPointer<TPlayerPanel> panel_;
};

}  // namespace

std::unique_ptr<IPlayerPanel> MakePlayerPart(IMainWindowHost& host) {
    return std::make_unique<PlayerPart>(host);
}

}  // namespace app
