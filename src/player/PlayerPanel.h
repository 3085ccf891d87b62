// The main window's player group (suiRadioGroup3, "播放器"): a black video panel, a seek bar and
// a row of buttons (play, pause, restart, mute, capture, snapshot settings), around one player
// component.
//
// The panel owns the player (`FFPlayer2`). It takes what it needs from the window through
// `TPlayerPanelServices`: dialogs, shell, the settings file, a capture sound, and callbacks for
// the status bar, the log pane and giving the job list the focus. UI thread only.
//
// How the main window drives it: when a job row becomes selected, `SetSelectedSourceFile` with
// the row's source path and, unless the window is rearranging rows itself, `Button31Click`
// (open it paused on its first picture). A click leaving no row selected, removing rows and
// clearing the list call `StopPlayer`. Closing the window calls `DetachPlayerHandlers`. At
// start-up the window calls `Button55Click` (read the snapshot format).
//
// The position and state handlers are attached whenever a file is opened here: the seek bar
// follows the playback (but not while the user holds it, nor before a seek has landed), and at
// the end of the file the panel returns to its start, paused.
#pragma once

#include <QElapsedTimer>
#include <QGroupBox>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

#include "player/FFPlay.h"
#include "player/Snapshot.h"

class QActionGroup;
class QAction;
class QLabel;
class QMenu;
class QSlider;
class QToolButton;

namespace platform {
class IDialogs;
class IShell;
}  // namespace platform

namespace player {
class ISoundPlayer;
}

struct TPlayerPanelServices {
    platform::IDialogs* dialogs = nullptr;           // required
    platform::IShell* shell = nullptr;               // required
    QString settingsFile;                            // system.ini; empty: AppPaths::SettingsFile()
    QString libraryPath;                             // empty: AppPaths::LibAVDir()
    QString captureSound;                            // empty: AppPaths::DataFile("sounds/cam.wav")
    player::ISoundPlayer* sound = nullptr;           // null: the panel's own SDL sound player
    std::function<void(const QString&)> statusText;  // the status bar
    std::function<void(const QString&)> logLine;     // a line for the log pane
    std::function<void()> focusJobList;              // optional
};

class TPlayerPanel : public QGroupBox {
    Q_OBJECT
public:
    explicit TPlayerPanel(TPlayerPanelServices services, QWidget* parent = nullptr);
    ~TPlayerPanel() override;

    TFFPlayer& Player() { return player_; }
    QWidget* VideoPanel() const { return panel2_; }
    QSlider* SeekBar() const { return seekBar_; }
    QMenu* SnapshotMenu() const { return snapshotMenu_; }
    QToolButton* Button(const QString& objectName) const;

    // The selected row's source path (the seek bar goes to 0).
    void SetSelectedSourceFile(const QString& path);
    void ResetSeekBar();
    QString SelectedSourceFile() const { return selectedSourceFile_; }
    int64_t PlayDuration() const { return playDuration_; }

    // Play-selected: disconnect the handlers from the file open now, bind the libraries on
    // first use (silently giving up when that fails), pause what plays, open the selected file
    // paused on its first picture with the handlers attached (a failure goes to the log pane).
    void Button31Click();
    // Reads the snapshot format from the settings (writing "BMP" when it is unusable) and
    // checks its menu item.
    void Button55Click();
    // Stop(true) and repaint the video panel.
    void StopPlayer();
    void DetachPlayerHandlers();

    // Buttons.
    void Image3Click();       // 播放
    void Image4Click();       // 暂停
    void Image5Click();       // 停止: reopen the selected file paused at its start
    void Image14Click();      // 声音/静音
    void Image24Click();      // 捕捉快照
    void Image26MouseDown();  // 快照设置: shows the menu under the button
    // Snapshot menu actions.
    void OpenSnapshotFolder();
    void ChooseSnapshotFolder();
    void ChooseSnapshotFormat(player::SnapshotFormat format);
    // The checked format item.
    player::SnapshotFormat CheckedSnapshotFormat() const;
    // The snapshot folder (created, and written to the settings when it was missing).
    QString SnapshotFolder();

    // Seek bar mouse handling (also driven by tests).
    void SeekBarMouseDown();
    void SeekBarMouseUp();

    // Player events.
    void FFPlayer2FileOpen(int64_t duration, int frameWidth, int frameHeight, int& screenWidth,
                           int& screenHeight);
    void FFPlayer2Position(int64_t pts);
    void FFPlayer2State(TPlayState state);

    static const QString kSnapshotStatus;

private:
    QToolButton* makeButton(const QString& objectName, const QString& hint, int glyph);
    void connectPlayerHandlers();
    // Stops what plays, attaches the position and state handlers and opens SelectedSourceFile
    // paused on its first picture (a failure goes to the log pane).
    void openSelected();
    // Position events leave the seek bar alone until the playback reaches `target` (µs).
    void holdFor(int64_t target);
    void updateMuteIcon();
    QString settingsPath() const;

    TPlayerPanelServices services_;
    std::unique_ptr<player::ISoundPlayer> ownSound_;
    TFFPlayer player_;

    QWidget* panel2_ = nullptr;
    QSlider* seekBar_ = nullptr;
    QLabel* positionLabel_ = nullptr;  // hidden: the position in seconds
    QLabel* durationLabel_ = nullptr;  // hidden: the duration in seconds
    QToolButton* image3_ = nullptr;
    QToolButton* image4_ = nullptr;
    QToolButton* image5_ = nullptr;
    QToolButton* image14_ = nullptr;
    QToolButton* image24_ = nullptr;
    QToolButton* image26_ = nullptr;
    QMenu* snapshotMenu_ = nullptr;
    QActionGroup* formatGroup_ = nullptr;
    QAction* formatActions_[4] = {};

    QString selectedSourceFile_;
    int64_t playDuration_ = 0;
    QString seekBarState_ = QStringLiteral("UP");
    bool seekBarUpdating_ = false;
    int64_t seekTarget_ = -1;  // µs; -1 when no seek is on its way
    QElapsedTimer seekClock_;  // since the seek to seekTarget_
};
