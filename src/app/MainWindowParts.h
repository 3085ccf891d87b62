// The parts that plug into the main window (TForm1) from other folders: the player panel, the
// information window, skins, the help menu's actions (help, update dialog, links, about box) and
// the password check at start-up. Each is a small interface with a default that keeps its place
// (a black video area, menus and buttons present, actions that do nothing yet). The real
// implementation replaces the default with one line in src/app/Parts.cpp (its Make… function)
// and a link line in src/app/app.cmake; TForm1 itself never changes for it.
//
// Rules for every part:
// - UI thread only. The main window calls in; a part calls back only through IMainWindowHost.
// - Parts are created by TForm1's constructor, after its own controls exist and before its
//   FormCreate steps, in this order: skins, help menu actions (the about box TForm4 and the
//   update dialog TForm6 live behind them), password check (TForm5), then the picker TForm7 and
//   the options dialog TForm8 (TForm1's own), the information window (TForm9), the player panel.
//   Each factory may use the parts created before it (host.Skins() is always usable).
// - Parts are destroyed in the reverse order when TForm1 is destroyed, after FormCloseQuery ran
//   (so the player has been told to detach its handlers and the engine has stopped).
// - A part never shows a window at construction; it owns the windows it creates.
// - Nothing here may end the process: the password check reports "end the program" through its
//   result, and TForm1 closes itself.
#pragma once

#include <QString>
#include <functional>
#include <memory>

class QMenu;
class QWidget;
class TCustomFFmpegVCL;

namespace platform {
class IDialogs;
class IShell;
}  // namespace platform

namespace app {

class ISkins;

// What TForm1 offers to its parts. Valid for the parts' whole life.
class IMainWindowHost {
public:
    virtual ~IMainWindowHost() = default;

    // The main window: the parent of dialogs and the window the skin menu restyles.
    virtual QWidget* Window() = 0;
    virtual platform::IDialogs& Dialogs() = 0;
    virtual platform::IShell& Shell() = 0;
    virtual ISkins& Skins() = 0;
    // The engine component FFmpegVCL1. Its Probe() opens a file for the information window; the
    // media libraries are bound once a file has been added (LibrariesLoaded tells).
    virtual TCustomFFmpegVCL& Engine() = 0;

    // One line appended to the log text (mmoLog), e.g. a player's LastErrorMessage.
    virtual void AppendLog(const QString& line) = 0;
    // Shows a text in the status bar (suiStatusBar1); it stays until the next one.
    virtual void ShowStatus(const QString& text) = 0;
    // Gives the job list (AdvListView1) the keyboard focus.
    virtual void FocusJobList() = 0;
    // Makes the main window stay on top of others or not, keeping its place, size and activation.
    virtual void SetStayOnTop(bool on) = 0;
};

// The player group: video area, seek bar and picture buttons, with the player component
// FFPlayer2 behind it.
class IPlayerPanel {
public:
    virtual ~IPlayerPanel() = default;

    // The widget that takes the player group's place. Created by the factory as a child of
    // host.Window(); TForm1 moves it to (16, 144) and sizes it 329 × 289, and never touches its
    // children.
    virtual QWidget* Widget() = 0;

    // Reads the snapshot format from the settings (the "SnapShot" section), writing the default
    // when missing (Button55Click). Called once by FormCreate.
    virtual void ReadSnapshotFormat() = 0;

    // The job list's selection changed (AdvListView1SelectItem): the seek bar goes to 0.
    virtual void ResetSeekBar() = 0;
    // The path of the selected row's source (SelectedSourceFile). Called only with a row
    // selected.
    virtual void SetSelectedSourceFile(const QString& path) = 0;
    // The play-selected action (Button31Click): bind the player's libraries on first use (a
    // failure stops silently), and open SelectedSourceFile paused on its first picture with the
    // position/state handlers attached to it (a failure goes to host.AppendLog). TForm1 calls
    // it after SetSelectedSourceFile, never while it rearranges the list (ListEditing).
    virtual void PlaySelected() = 0;

    // Stops playback and waits for it (FFPlayer2.Stop(true)): a click on the list that leaves
    // no row selected, and before a row is removed.
    virtual void Stop() = 0;
    // Stops playback, waits, repaints the video area black and forgets SelectedSourceFile:
    // after a row was removed and when the list is cleared.
    virtual void StopAndRepaint() = 0;

    // Disconnects the player's OnPosition, OnState and OnHook handlers (only OnFileOpen stays):
    // when the main window closes (FormCloseQuery). PlaySelected attaches them to each file it
    // opens.
    virtual void DetachHandlers() = 0;
};

// The information window TForm9 ("视频信息提示").
class IInformationWindow {
public:
    virtual ~IInformationWindow() = default;
    // The info action (button "信息", double-click on a row): TForm1 calls it only when a row is
    // selected and its source file exists. Opens the file with host.Engine().Probe(), fills the
    // texts and shows the window modally; returns when it is closed.
    virtual void ShowFor(const QString& sourceFile) = 0;
};

// Skins: the saved choice in system.ini ([skin] SetSkin) and the skin menu.
class ISkins {
public:
    virtual ~ISkins() = default;
    // Button1Click for `window`: applies the saved skin; an unknown or missing value changes
    // nothing. TForm1 calls it for itself in FormCreate; other windows call it on every show.
    virtual void ApplySaved(QWidget* window) = 0;
    // Fills the skin menu (suiPopupMenu1, dropped down by the toolbar's "皮肤") with its items,
    // top to bottom. Choosing an item applies it to `mainWindow` at once and saves it. Called
    // once, on an empty menu that TForm1 owns.
    virtual void FillSkinMenu(QMenu* menu, QWidget* mainWindow) = 0;
};

// The actions of the help menu (suiPopupMenu2), which TForm1 builds itself with its captions,
// separators and the F1 shortcut. Each returns when its action is done (modal windows closed).
class IHelpActions {
public:
    virtual ~IHelpActions() = default;
    virtual void OpenHelp() = 0;          // "帮助系统?" (N3Click)
    virtual void ShowUpdateDialog() = 0;  // "网上升级..." (N12Click), TForm6
    virtual void OpenWebSite() = 0;       // "软件网站" (N9Click)
    virtual void OpenMailAddress() = 0;   // "作者联系信箱" (N5Click)
    virtual void ShowAbout() = 0;         // "关于软件" (N4Click), TForm4
};

// The administrator's password lock (TForm5).
class IPasswordCheck {
public:
    virtual ~IPasswordCheck() = default;
    // Runs once, when the main window is first shown (FormShow). True: go on. False: the
    // program must end (wrong password after its message, or "退出"); TForm1 then closes
    // itself without running anything else. Without a lock it returns true and shows nothing.
    virtual bool CheckAtStart(QWidget* mainWindow) = 0;
};

// The factories TForm1 uses. Default-constructed, every member is the program's own choice
// (the Make… functions below); tests replace single members with fakes.
struct PartFactories {
    std::function<std::unique_ptr<ISkins>(IMainWindowHost&)> skins;
    std::function<std::unique_ptr<IHelpActions>(IMainWindowHost&)> help;
    std::function<std::unique_ptr<IPasswordCheck>(IMainWindowHost&)> password;
    std::function<std::unique_ptr<IInformationWindow>(IMainWindowHost&)> information;
    std::function<std::unique_ptr<IPlayerPanel>(IMainWindowHost&)> player;

    PartFactories();
};

// The program's choice of each part (src/app/Parts.cpp: one line each).
std::unique_ptr<ISkins> MakeSkins(IMainWindowHost& host);
std::unique_ptr<IHelpActions> MakeHelpActions(IMainWindowHost& host);
std::unique_ptr<IPasswordCheck> MakePasswordCheck(IMainWindowHost& host);
std::unique_ptr<IInformationWindow> MakeInformationWindow(IMainWindowHost& host);
std::unique_ptr<IPlayerPanel> MakePlayerPanel(IMainWindowHost& host);

// The defaults that keep each place until the real part arrives (src/app/DefaultParts.cpp).
// The default player panel is a group with a black video area, a seek bar at 0 and the six
// picture buttons (hints "播放", "暂停", "停止", "声音/静音", "捕捉快照", "快照设置"), none of
// which does anything; the default skin menu holds the seventeen captions, inert; the other
// defaults do nothing and the password check lets everyone in.
std::unique_ptr<ISkins> MakeDefaultSkins(IMainWindowHost& host);
std::unique_ptr<IHelpActions> MakeDefaultHelpActions(IMainWindowHost& host);
std::unique_ptr<IPasswordCheck> MakeDefaultPasswordCheck(IMainWindowHost& host);
std::unique_ptr<IInformationWindow> MakeDefaultInformationWindow(IMainWindowHost& host);
std::unique_ptr<IPlayerPanel> MakeDefaultPlayerPanel(IMainWindowHost& host);

}  // namespace app
