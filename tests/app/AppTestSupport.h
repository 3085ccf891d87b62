// Helpers of the main window tests: the application object, a recording stand-in for every part,
// scripted steps inside modal loops, and waiting on the event loop.
#pragma once

#include <QApplication>
#include <QDialog>
#include <chrono>
#include <functional>
#include <map>
#include <ostream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FakePlatform.h"
#include "ModalScript.h"
#include "WidgetTestSupport.h"
#include "app/MainWindow.h"

// QStrings in the messages of failed assertions.
inline std::ostream& operator<<(std::ostream& os, const QString& s) {
    return os << s.toStdString();
}

namespace apptest {

using widgettest::U;

// The QApplication of the test program, with the dispatcher on its event loop.
void EnsureApp();

// Runs the event loop until `done` holds or `limit` passes; whether it held.
bool WaitFor(const std::function<bool()>& done,
             std::chrono::milliseconds limit = std::chrono::seconds(60));

// A clip made by the ffmpeg program from `args` (the part of the command line before the output
// name) as `dir`/`name`; fails the test and returns "" when it cannot be made.
QString MakeClip(const std::string& dir, const std::string& name, const std::string& args);
// A clip kept in the shared fixture folder for the whole test run (made once, atomically):
// `seconds` of 320x240 25 fps MPEG-4 video with MP3 sound in AVI, long enough to pause or stop.
QString LongClip(int seconds);
// A copy of the fixture clip `id` as `dir`/`name`.
QString CopyOf(const std::string& id, const std::string& dir, const std::string& name);

// Name, size, content hash and modification time of every file in a folder.
std::map<QString, std::string> FolderState(const QString& dir);

// What the main window asked of its parts, in order ("player:PlaySelected /x.avi", …).
struct PartLog {
    std::vector<std::string> calls;
    bool passwordResult = true;
    int count(const std::string& call) const;
    void clear() { calls.clear(); }
};

// Factories whose parts record every call into `log` (the player panel keeps a real widget in
// its place).
app::PartFactories RecordingParts(std::shared_ptr<PartLog> log);

using testsupport::Script;

// The picker, then the options dialog, confirmed with the picker's current choice (or the item
// `position` of tab `tab` when tab >= 0): the steps of one addition after the file dialog.
std::vector<Script::Step> PickAndConfirm(TForm1* form, int tab = -1, int position = 0);
// The picker cancelled.
std::vector<Script::Step> PickAndCancel(TForm1* form);

// A main window on fake platform services and recording parts.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Creates the window (after a test has prepared the settings file).
    void Create();
    // Creates the window with an empty output folder (out_) and a source folder (src_).
    void CreateWithFolders();
    // A copy of the fixture clip `id` in the source folder.
    QString Clip(const std::string& name, const std::string& id = "avi_mpeg4_mp3") const;
    // "添加一个视频文件" with `path` from the open dialog and the given picker steps.
    void AddOne(const QString& path, std::vector<Script::Step> steps = {});
    // "添加多个视频文件" (or "添加一个视频文件" when not `several`) with `paths` from the open
    // dialog.
    void AddSeveral(const QStringList& paths, std::vector<Script::Step> steps = {},
                    bool several = true);
    QString Cell(int row, int column) const;
    QStringList Column(int column) const;  // the cells of every row
    QStringList Sources() const;
    QStringList Statuses() const;
    QString OutputName(int row) const;  // the slot's stored output file name
    // Whether the toolbar button / widget with this object name is enabled.
    bool Enabled(const char* objectName) const;
    QString LogText() const;

    platform::FakeDialogs dialogs_;
    platform::FakeShell shell_;
    platform::FakeSystemPower power_;
    platform::FakeNotifier notifier_;
    std::shared_ptr<PartLog> parts_ = std::make_shared<PartLog>();
    std::unique_ptr<TForm1> form_;
    std::string src_;
    QString out_;
};

// A main window made at the start with empty output and source folders.
class WindowWithFoldersTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        CreateWithFolders();
    }
};

// Messages with this caption that the fake dialogs showed.
std::vector<platform::FakeDialogs::Message> MessagesCaptioned(const platform::FakeDialogs& d,
                                                               const QString& caption);

}  // namespace apptest
