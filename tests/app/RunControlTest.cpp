// Running batches from the main window with the real engine: statuses and progress per row,
// pause and resume, stop, several files at once, rows that cannot be set up or fail, the action
// after the batch, and closing the window while converting. Outputs are read back with ffprobe.
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTableView>
#include <QToolButton>
#include <map>

#include <sys/resource.h>
#include <unistd.h>

#include "AppTestSupport.h"
#include "TestSupport.h"
#include "app/JobListModel.h"
#include "engine/MainThread.h"
#include "engine/ProcessSignals.h"

using namespace apptest;
using app::RunState;

namespace {

const int kAviProfileTab = 0, kAviProfilePosition = 13;  // 313 "通用AVI视频格式"

double DurationOf(const QString& path) {
    const QJsonObject json = testsupport::FfprobeJson(path.toStdString());
    return json.value("format").toObject().value("duration").toString().toDouble();
}

class RunControl : public WindowWithFoldersTest {
protected:
    void SetUp() override {
        WindowWithFoldersTest::SetUp();
        QObject::connect(form_->Model(), &QAbstractItemModel::dataChanged, form_.get(),
                         [this](const QModelIndex& from, const QModelIndex& to) {
                             if (from.column() <= app::kColStatus && to.column() >= app::kColStatus)
                                 for (int r = from.row(); r <= to.row(); ++r) StatusChanged(r);
                             ++changes_;
                         });
        QObject::connect(form_.get(), &TForm1::terminationHandled, form_.get(),
                         [this](int task) { ++terminations_[task]; });
    }

    void StatusChanged(int row) {
        const QString now = Cell(row, app::kColStatus);
        auto& h = history_[row];
        if (h.isEmpty() || h.last() != now) h << now;
        int converting = 0;
        for (const QString& s : Statuses()) converting += s == U("转换中...");
        maxConverting_ = std::max(maxConverting_, converting);
        if (onStatus_) onStatus_(row, now);
    }

    // Rows of the long clip for the AVI profile; progress every 100 ms so that a pause or a stop
    // lands early in the conversion.
    void AddLong(int rows, int seconds) {
        const QString clip = LongClip(seconds);
        ASSERT_FALSE(clip.isEmpty());
        for (int i = 0; i < rows; ++i)
            AddOne(clip, PickAndConfirm(form_.get(), kAviProfileTab, kAviProfilePosition));
        ASSERT_EQ(form_->Model()->rowCount(), rows);
        form_->FFmpegVCL1().SetProgressInterval(100);
    }
    // Runs `act` once, from the event loop, after the row first shows "转换中...".
    void WhenConverting(int row, std::function<void()> act) {
        onStatus_ = [this, row, act](int r, const QString& s) {
            if (r != row || s != U("转换中...")) return;
            // Not inside the progress event: its worker waits for it to return.
            QTimer::singleShot(0, form_.get(), act);
            onStatus_ = nullptr;  // last: this ends the closure
        };
    }
    bool WaitForBatchEnd(int batches = 1) {
        return WaitFor([&] { return terminations_[-1] >= batches; }, std::chrono::minutes(3));
    }
    QToolButton* Tool(const char* name) const { return form_->findChild<QToolButton*>(name); }
    QComboBox* Combo(const char* name) const { return form_->findChild<QComboBox*>(name); }
    QStringList OutputFiles() const { return QDir(out_).entryList(QDir::Files, QDir::Name); }

    std::map<int, QStringList> history_;
    std::map<int, int> terminations_;
    int maxConverting_ = 0;
    int changes_ = 0;
    std::function<void(int, const QString&)> onStatus_;
};

}  // namespace

TEST_F(RunControl, ThreeRowsOneAtATimeThenTheAfterAllDoneActionOnce) {
    AddOne(Clip("a.avi"));
    AddOne(Clip("b.avi"));
    AddOne(Clip("c.avi"));
    history_.clear();
    for (int row = 0; row < 3; ++row) history_[row] = QStringList{Cell(row, app::kColStatus)};
    Tool("ToolButton3")->click();
    EXPECT_EQ(form_->State(), RunState::Converting);
    EXPECT_EQ(Statuses(), QStringList({U("准备"), U("准备"), U("准备")}));
    for (const char* name : {"ToolButton1", "ToolButton12", "ToolButton2", "ToolButton3",
                             "Button10", "Button11", "suiButton6", "suiButton7", "suiButton3",
                             "suiComboBox4"})
        EXPECT_FALSE(Enabled(name)) << name;
    EXPECT_TRUE(Enabled("ToolButton5"));
    EXPECT_TRUE(Enabled("ToolButton4"));
    EXPECT_TRUE(Enabled("suiComboBox1")) << "the after-all-done choice stays open";
    EXPECT_EQ(form_->TaskRows(), (std::vector<int>{0, 1, 2}));

    ASSERT_TRUE(WaitForBatchEnd());
    for (int row = 0; row < 3; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(history_[row], QStringList({U("准备"), U("转换中..."), U("完成")}));
        EXPECT_EQ(Cell(row, app::kColProgress), "100%");
        // The seconds converted, truncated: the 2 s clip ends at 2.
        const QString time = Cell(row, app::kColTime);
        EXPECT_TRUE(QRegularExpression(U("^[12]   \\(秒\\)$")).match(time).hasMatch()) << time;
    }
    EXPECT_EQ(maxConverting_, 1) << "the start-up values convert one file at a time";
    EXPECT_EQ(terminations_[-1], 1);
    ASSERT_EQ(shell_.paths.size(), 1u) << "the folder is opened once";
    EXPECT_EQ(shell_.paths[0], out_);
    EXPECT_EQ(power_.requests, 0);
    EXPECT_EQ(OutputFiles(), QStringList({"a.mp3", "b.mp3", "c.mp3"}));
    for (const QString& f : OutputFiles()) EXPECT_NEAR(DurationOf(out_ + "/" + f), 2.0, 0.1) << f;

    // Idle again.
    EXPECT_EQ(form_->State(), RunState::Idle);
    EXPECT_EQ(form_->FFmpegVCL1().TaskCount(), 0);
    for (const char* name : {"ToolButton1", "ToolButton12", "ToolButton2", "ToolButton3",
                             "Button10", "suiButton7", "suiButton3", "suiComboBox4"})
        EXPECT_TRUE(Enabled(name)) << name;
    EXPECT_FALSE(Enabled("ToolButton5"));
    EXPECT_FALSE(Enabled("ToolButton4"));
    EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(RunControl, AfterAllDoneChoices) {
    AddOne(Clip("a.avi"));
    Combo("suiComboBox1")->setCurrentIndex(1);  // "直接关闭计算机": the fake records it
    form_->btnStartClick();
    ASSERT_TRUE(WaitForBatchEnd(1));
    EXPECT_EQ(power_.requests, 1);
    EXPECT_TRUE(shell_.paths.empty());

    // A refused power-off is logged and the program goes on.
    power_.result = false;
    form_->btnStartClick();
    ASSERT_TRUE(WaitForBatchEnd(2));
    EXPECT_EQ(power_.requests, 2);
    EXPECT_TRUE(LogText().contains(U("***无法关闭计算机: refused by the fake")));
    EXPECT_EQ(form_->State(), RunState::Idle);

    Combo("suiComboBox1")->setCurrentIndex(0);  // "无任何操作"
    form_->btnStartClick();
    ASSERT_TRUE(WaitForBatchEnd(3));
    EXPECT_EQ(power_.requests, 2);
    EXPECT_TRUE(shell_.paths.empty());
}

TEST_F(RunControl, StopAnsweredCancelChangesNothingAndOkStopsTheConvertingRow) {
    AddLong(2, 20);
    bool checked = false;
    WhenConverting(0, [&] {
        dialogs_.messageAnswers = {platform::MessageButton::Cancel};
        form_->btnStopClick();
        EXPECT_EQ(form_->State(), RunState::Converting);
        EXPECT_FALSE(form_->BatchStopRequested());
        EXPECT_TRUE(Enabled("ToolButton4"));
        EXPECT_TRUE(Enabled("ToolButton5"));

        dialogs_.messageAnswers = {platform::MessageButton::Ok};
        form_->btnStopClick();
        // The engine has stopped; its end-of-batch event is still to come.
        EXPECT_TRUE(form_->BatchStopRequested());
        EXPECT_EQ(form_->State(), RunState::Stopping);
        EXPECT_FALSE(Enabled("ToolButton4"));
        EXPECT_FALSE(Enabled("ToolButton5"));
        EXPECT_FALSE(Enabled("ToolButton3"));
        checked = true;
    });
    form_->btnStartClick();
    ASSERT_TRUE(WaitForBatchEnd());
    ASSERT_TRUE(checked);
    ASSERT_EQ(dialogs_.messages.size(), 2u);
    EXPECT_EQ(dialogs_.messages[0].caption, U("提示信息"));
    EXPECT_EQ(dialogs_.messages[0].text, U("您确实要终止目前的转换工作吗？"));
    EXPECT_EQ(dialogs_.messages[0].buttons,
              platform::MessageButton::Ok | platform::MessageButton::Cancel);
    EXPECT_EQ(Statuses(), QStringList({U("停止"), U("准备")}));
    EXPECT_LT(Cell(0, app::kColProgress).chopped(1).toInt(), 100);
    EXPECT_TRUE(shell_.paths.empty()) << "nothing finished: no after-all-done action";
    EXPECT_EQ(form_->State(), RunState::Idle);
    EXPECT_FALSE(form_->FFmpegVCL1().Paused());
}

TEST_F(RunControl, PauseShowsPausedAndConvertResumesTheSameFile) {
    AddLong(1, 20);
    history_[0] = QStringList{Cell(0, app::kColStatus)};
    bool paused = false;
    WhenConverting(0, [&] {
        form_->findChild<QToolButton*>("ToolButton5")->click();
        paused = true;
    });
    form_->btnStartClick();
    ASSERT_TRUE(WaitFor([&] { return paused; }, std::chrono::minutes(2)));
    ASSERT_EQ(terminations_[0], 0) << "the clip was too short to pause";
    EXPECT_EQ(form_->State(), RunState::Paused);
    EXPECT_TRUE(form_->BatchPaused());
    EXPECT_TRUE(form_->FFmpegVCL1().Paused());
    EXPECT_EQ(Cell(0, app::kColStatus), U("暂停"));
    EXPECT_TRUE(Enabled("ToolButton3"));
    EXPECT_FALSE(Enabled("ToolButton5"));
    EXPECT_TRUE(Enabled("ToolButton4"));

    // A report that was already on its way does not undo "暂停"; values are clamped.
    TProgressInfo late;
    late.TaskIndex = 0;
    late.CurrentDuration = 5'500'000;
    late.TotalDuration = 20'000'000;
    form_->FFmpegVCL1Progress(nullptr, &late);
    EXPECT_EQ(Cell(0, app::kColStatus), U("暂停"));
    EXPECT_EQ(Cell(0, app::kColTime), U("5   (秒)"));
    EXPECT_EQ(Cell(0, app::kColProgress), "27%");  // 5.5 × 100 ÷ 20, truncated
    late.CurrentDuration = 45'000'000;
    form_->FFmpegVCL1Progress(nullptr, &late);
    EXPECT_EQ(Cell(0, app::kColProgress), "100%");
    late.CurrentDuration = -60'000'000;
    form_->FFmpegVCL1Progress(nullptr, &late);
    EXPECT_EQ(Cell(0, app::kColProgress), "0%");
    late.TotalDuration = -1;  // unknown length: the bar stays, the seconds count
    late.CurrentDuration = 7'000'000;
    form_->FFmpegVCL1Progress(nullptr, &late);
    EXPECT_EQ(Cell(0, app::kColProgress), "0%");
    EXPECT_EQ(Cell(0, app::kColTime), U("7   (秒)"));
    late.TaskIndex = 5;  // not a task of this batch
    form_->FFmpegVCL1Progress(nullptr, &late);

    form_->findChild<QToolButton*>("ToolButton3")->click();  // resume
    EXPECT_EQ(form_->State(), RunState::Converting);
    EXPECT_FALSE(form_->BatchPaused());
    EXPECT_FALSE(form_->FFmpegVCL1().Paused());
    EXPECT_TRUE(Enabled("ToolButton5"));
    EXPECT_FALSE(Enabled("ToolButton3"));
    ASSERT_TRUE(WaitForBatchEnd());
    EXPECT_EQ(history_[0], QStringList({U("准备"), U("转换中..."), U("暂停"), U("转换中..."),
                                        U("完成")}));
    EXPECT_EQ(terminations_[0], 1);
    ASSERT_EQ(OutputFiles(), QStringList({QFileInfo(LongClip(20)).fileName()}));
    EXPECT_NEAR(DurationOf(out_ + "/" + OutputFiles()[0]), 20.0, 0.2) << "nothing lost or doubled";
}

TEST_F(RunControl, AStopEndsAPause) {
    AddLong(1, 20);
    WhenConverting(0, [&] {
        form_->btnPauseClick();
        form_->btnStopClick();  // the fake answers Ok
    });
    form_->btnStartClick();
    ASSERT_TRUE(WaitForBatchEnd());
    EXPECT_EQ(Statuses(), QStringList({U("停止")}));
    EXPECT_FALSE(form_->FFmpegVCL1().Paused());
    EXPECT_FALSE(form_->BatchPaused());
    EXPECT_EQ(form_->State(), RunState::Idle);
}

TEST_F(RunControl, ConvertingAgainConvertsEveryRowAgain) {
    const QString clip = Clip("clip.avi");
    AddOne(clip);
    AddOne(clip);
    EXPECT_EQ(OutputName(1), out_ + "/clip(New_1).mp3");
    form_->btnStartClick();
    ASSERT_TRUE(WaitForBatchEnd(1));
    EXPECT_EQ(OutputFiles(), QStringList({"clip(New_1).mp3", "clip.mp3"}));
    const auto first = FolderState(out_);

    form_->btnStartClick();
    EXPECT_EQ(Statuses(), QStringList({U("准备"), U("准备")}));
    EXPECT_EQ(Cell(0, app::kColProgress), "0%");
    ASSERT_TRUE(WaitForBatchEnd(2));
    EXPECT_EQ(Statuses(), QStringList({U("完成"), U("完成")}));
    // Names are numbered: the first run's files stay as they were, the second run's are new.
    EXPECT_EQ(OutputFiles(), QStringList({"clip(New_1).mp3", "clip(New_2).mp3", "clip(New_3).mp3",
                                          "clip.mp3"}));
    auto kept = FolderState(out_);
    kept.erase("clip(New_2).mp3");
    kept.erase("clip(New_3).mp3");
    EXPECT_EQ(kept, first);
    // Each row names the file it wrote.
    EXPECT_TRUE(form_->Model()
                    ->data(form_->Model()->index(0, app::kColStatus), Qt::ToolTipRole)
                    .toString()
                    .split(QLatin1Char('\n'))
                    .contains(U("输出文件：") + out_ + "/clip(New_2).mp3"));
}

TEST_F(RunControl, ANameNumberedAtAdditionKeepsItsNumberAtTheStart) {
    // The edge case of a row numbered because clip.mp3 existed: adding made no empty
    // clip(New_1).mp3, so the batch writes clip(New_1).mp3 (not clip(New_2).mp3).
    testsupport::WriteFile((out_ + "/clip.mp3").toStdString(), "someone else's");
    const auto before = FolderState(out_);
    AddOne(Clip("clip.avi"));
    EXPECT_EQ(OutputName(0), out_ + "/clip(New_1).mp3");
    form_->btnStartClick();
    ASSERT_TRUE(WaitForBatchEnd());
    EXPECT_EQ(OutputFiles(), QStringList({"clip(New_1).mp3", "clip.mp3"}));
    auto after = FolderState(out_);
    after.erase("clip(New_1).mp3");
    EXPECT_EQ(after, before) << "the other file is untouched";
}

TEST_F(RunControl, TwoFilesAtOnce) {
    AddLong(2, 10);
    Combo("suiComboBox3")->setCurrentIndex(1);  // "2个文件"
    Combo("suiComboBox2")->setCurrentIndex(1);  // "CPU占用最低"
    form_->btnStartClick();
    EXPECT_EQ(form_->FFmpegVCL1().ThreadPriority(), tpLowest);
    EXPECT_FALSE(form_->FFmpegVCL1().Preview()) << "\"Preview\" is never ticked";
    ASSERT_TRUE(WaitForBatchEnd());
    EXPECT_EQ(maxConverting_, 2);
    EXPECT_EQ(Statuses(), QStringList({U("完成"), U("完成")}));
}

TEST_F(RunControl, RowsThatCannotBeSetUpAreSkippedAndNamed) {
    const QString a = Clip("a.avi"), b = Clip("b.avi"), c = Clip("c.avi");
    AddOne(a);
    AddOne(b);
    AddOne(c);
    ASSERT_TRUE(QFile::remove(b));
    form_->btnStartClick();
    EXPECT_EQ(form_->TaskRows(), (std::vector<int>{0, 2}));
    ASSERT_TRUE(WaitForBatchEnd());
    const auto notices = MessagesCaptioned(dialogs_, U("提示"));
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_TRUE(notices[0].text.contains("2. " + b + U("\n    原因：文件不存在。")))
        << notices[0].text;
    EXPECT_FALSE(notices[0].text.contains(a));
    EXPECT_EQ(Statuses(), QStringList({U("完成"), U("失败"), U("完成")}));
    EXPECT_EQ(OutputFiles(), QStringList({"a.mp3", "c.mp3"}));
    // The window was not in front: the desktop hears how the batch went.
    EXPECT_EQ(notifier_.shown, std::vector<QString>{U("全部文件转换完毕|完成 2 个，失败 1 个")});

    // Nothing left at all: the batch still ends and the window is usable again. The window is
    // in front this time, and shows it itself: nobody else is told.
    ASSERT_TRUE(QFile::remove(a));
    ASSERT_TRUE(QFile::remove(c));
    form_->show();
    form_->activateWindow();
    ASSERT_TRUE(WaitFor([&] { return form_->isActiveWindow(); }));
    form_->btnStartClick();
    ASSERT_TRUE(WaitForBatchEnd(2));
    EXPECT_EQ(notifier_.shown.size(), 1u);
    EXPECT_EQ(Statuses(), QStringList({U("失败"), U("失败"), U("失败")}));
    EXPECT_EQ(form_->State(), RunState::Idle);
    EXPECT_TRUE(Enabled("ToolButton1"));
    EXPECT_EQ(MessagesCaptioned(dialogs_, U("提示")).size(), 2u);
    EXPECT_EQ(shell_.paths.size(), 1u) << "nothing finished: no after-all-done action";
}

TEST_F(RunControl, AFailedRowShowsItsFailureAndTheBatchGoesOn) {
    // A 20 s AVI output cannot stay under a file-size limit of 300 KB; a 2 s MP3 can.
    AddOne(LongClip(20), PickAndConfirm(form_.get(), kAviProfileTab, kAviProfilePosition));
    AddOne(Clip("b.avi"), PickAndConfirm(form_.get(), 0, 0));
    // The failed row is the selected one: the end of the batch does not call it done.
    form_->AdvListView1()->selectRow(0);
    struct rlimit old, small;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    procsignals::IgnoreFileSizeLimit();
    small = {300 * 1024, old.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    form_->btnStartClick();
    const bool ended = WaitForBatchEnd();
    ::setrlimit(RLIMIT_FSIZE, &old);
    ASSERT_TRUE(ended);
    EXPECT_EQ(Statuses(), QStringList({U("失败"), U("完成")}));
    const auto warnings = MessagesCaptioned(dialogs_, "Tandrel");
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].icon, platform::MessageIcon::Warning);
    EXPECT_EQ(warnings[0].text,
              U("文件转换失败：") + Sources()[0] + U("\n文件太大，超出了磁盘或系统允许的大小。"));
    EXPECT_TRUE(LogText().contains("File too large")) << LogText();
    EXPECT_NEAR(DurationOf(out_ + "/b.mp3"), 2.0, 0.1);
}

TEST_F(RunControl, AnIncompleteSourceIsDoneAsFarAsItGoesAndTheLogSaysSo) {
    // The mp3 says it lasts 3 s but holds 1.8 s (an incomplete download).
    const QString part = Clip("short.mp3", "mp3_truncated");
    AddOne(part);
    AddOne(Clip("whole.avi"));
    ASSERT_EQ(form_->Model()->rowCount(), 2);
    form_->btnStartClick();
    ASSERT_TRUE(WaitForBatchEnd());
    EXPECT_EQ(Statuses(), QStringList({U("完成"), U("完成")}));
    EXPECT_TRUE(MessagesCaptioned(dialogs_, "Tandrel").empty());
    EXPECT_TRUE(LogText().contains(U("已转换能读出的部分。  ") + part +
                                   ": what can be read ends at 00:00:01.803, before the "
                                   "00:00:03.030 the file states"))
        << LogText().toStdString();
    EXPECT_EQ(OutputFiles(), QStringList({"short.mp3", "whole.mp3"}));
    EXPECT_NEAR(DurationOf(out_ + "/short.mp3"), 1.8, 0.1);
}

TEST_F(RunControl, ClosingDuringABatchStopsWaitsAndTouchesNothingAfterwards) {
    AddLong(2, 20);
    bool closed = false;
    WhenConverting(0, [&] {
        form_->close();
        closed = true;
    });
    form_->btnStartClick();
    ASSERT_TRUE(WaitFor([&] { return closed; }, std::chrono::minutes(2)));
    EXPECT_FALSE(form_->isVisible());
    // Closing detaches the player's handlers.
    EXPECT_EQ(parts_->count("player:DetachHandlers"), 1);
    // Every conversion has ended; whatever the engine still delivers reaches nobody.
    const int changes = changes_;
    mainthread::Drain();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(changes_, changes);
    EXPECT_EQ(terminations_.count(-1), 0u);
    EXPECT_TRUE(shell_.paths.empty()) << "no after-all-done action on closing";
    form_->close();  // closes once
    EXPECT_EQ(parts_->count("player:DetachHandlers"), 1);
    form_.reset();
}

TEST_F(RunControl, ClosingWhileTheStopQuestionIsOpenStopsOnce) {
    AddLong(1, 20);
    bool done = false;
    dialogs_.onMessage = [&](const platform::FakeDialogs::Message& m) {
        if (m.caption == U("提示信息")) form_->close();
    };
    WhenConverting(0, [&] {
        form_->btnStopClick();
        done = true;
    });
    form_->btnStartClick();
    ASSERT_TRUE(WaitFor([&] { return done; }, std::chrono::minutes(2)));
    EXPECT_FALSE(form_->BatchStopRequested()) << "the answer came after the window closed";
    EXPECT_EQ(terminations_.count(-1), 0u);
    EXPECT_EQ(parts_->count("player:DetachHandlers"), 1);
    form_.reset();
}
