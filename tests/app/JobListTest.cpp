// The job list with the real picker, options dialog and engine: adding one and several files,
// output names, failures, the slot limit, removing, clearing, moving and selecting rows.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include "AppTestSupport.h"
#include "TestSupport.h"
#include "app/JobListModel.h"
#include "formats/PickerDialog.h"
#include "formats/RecordBuilder.h"

using namespace apptest;
using app::JobListModel;

namespace {

const char* kNotice = "提示";

class JobList : public WindowWithFoldersTest {
protected:
    void WriteOut(const QString& name, const QByteArray& bytes) {
        QFile f(out_ + "/" + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QComboBox* Policy() const { return form_->findChild<QComboBox*>("suiComboBox4"); }
    void Select(int row) {
        form_->AdvListView1()->selectionModel()->setCurrentIndex(
            form_->Model()->index(row, 0),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    QStringList Numbers() const { return Column(app::kColNumber); }
};

}  // namespace

TEST_F(JobList, OneFileIsNumberedAgainstTheDiskAndNothingOnDiskChanges) {
    const QString clip = Clip("clip.avi");
    WriteOut("clip.mp3", "first");
    WriteOut("clip(New_1).mp3", "second");
    const auto before = FolderState(out_);
    const auto sourceBefore = FolderState(QString::fromStdString(src_));

    AddOne(clip);  // the picker opens on "标准MP3格式音频" (300)
    ASSERT_EQ(form_->Model()->rowCount(), 1);
    EXPECT_EQ(form_->Fields().FormatIndex, 300);
    EXPECT_EQ(OutputName(0), out_ + "/clip(New_2).mp3");
    const QStringList cells = {Cell(0, 0), Cell(0, 1), Cell(0, 2), Cell(0, 3),
                               Cell(0, 4), Cell(0, 6)};
    EXPECT_EQ(cells, QStringList({"1", clip, "AVI", "MP3", "0", U("准备")}));
    EXPECT_EQ(form_->Model()->index(0, app::kColProgress).data(JobListModel::ProgressRole), 0);
    EXPECT_TRUE(LogText().contains(U("装入成功.")));
    EXPECT_EQ(FolderState(out_), before) << "adding a row writes nothing";
    EXPECT_EQ(FolderState(QString::fromStdString(src_)), sourceBefore);
    EXPECT_EQ(form_->FFmpegVCL1().TaskCount(), 1);
    EXPECT_TRUE(dialogs_.messages.empty());

    // The one-file dialog: the filter list, first entry selected, one file.
    ASSERT_EQ(dialogs_.openRequests.size(), 1u);
    EXPECT_FALSE(dialogs_.openRequests[0].multiple);
    EXPECT_EQ(dialogs_.openRequests[0].selectedFilter, 0);
    const auto& filters = dialogs_.openRequests[0].filters;
    ASSERT_EQ(filters.size(), 20u);
    EXPECT_EQ(filters[0].description, U("所有支持的文件类型"));
    // 27 patterns before the "directly followed" part and 29 after it.
    EXPECT_EQ(filters[0].patterns.size(), 27 + 29);
    EXPECT_EQ(filters[0].patterns.first(), "*.AVI");
    EXPECT_EQ(filters[0].patterns.last(), "*.qt");
    EXPECT_TRUE(filters[0].patterns.contains("*.SWF"));
    EXPECT_TRUE(filters[0].patterns.contains("*.FLAC"));
    EXPECT_EQ(filters[1].patterns, QStringList({"*.*"}));
    EXPECT_EQ(filters[19].description, U("DV视频文件 (*.dv;*.dif)"));
    EXPECT_EQ(filters[19].patterns, QStringList({"*.dv", "*.dif"}));

    // Usable now what can act on the one row; it is selected and loaded into the player.
    for (const char* name : {"ToolButton12", "ToolButton2", "ToolButton3", "suiButton6",
                             "suiButton7", "suiButton3", "suiComboBox4"})
        EXPECT_TRUE(Enabled(name)) << name;
    EXPECT_EQ(form_->AdvListView1()->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(parts_->count("player:Select " + clip.toStdString()), 1);
    EXPECT_EQ(parts_->count("player:PlaySelected"), 1);

    // The overwrite policy keeps the taken name (the file is replaced when converting).
    form_->btnClearClick();
    Policy()->setCurrentIndex(1);
    AddOne(clip);
    EXPECT_EQ(OutputName(0), out_ + "/clip.mp3");
    EXPECT_EQ(FolderState(out_), before);
}

TEST_F(JobList, TwoRowsNeverShareAnOutputName) {
    const QString clip = Clip("clip.avi");
    AddOne(clip);
    AddOne(clip);
    Policy()->setCurrentIndex(1);  // overwriting a file on disk is allowed, another row's is not
    AddOne(clip);
    EXPECT_EQ(OutputName(0), out_ + "/clip.mp3");
    EXPECT_EQ(OutputName(1), out_ + "/clip(New_1).mp3");
    EXPECT_EQ(OutputName(2), out_ + "/clip(New_2).mp3");
    EXPECT_EQ(Numbers(), QStringList({"1", "2", "3"}));
    EXPECT_EQ(QDir(out_).entryList(QDir::Files).size(), 0);
}

TEST_F(JobList, SeveralFilesInTheDialogsReverseOrderAndAnUnreadableOneIsReported) {
    const std::string lavfi = "-f lavfi -i testsrc=size=176x144:rate=25:duration=1 "
                              "-f lavfi -i sine=duration=1 ";
    const QString a = MakeClip(src_, "a.wmv", lavfi + "-c:v wmv2 -c:a wmav2");
    const QString b = MakeClip(src_, "b.rmvb", lavfi + "-c:v rv10 -c:a ac3 -f rm");
    const QString c = MakeClip(src_, "c.ac3", "-f lavfi -i sine=duration=1 -c:a ac3");
    const QString bad = QString::fromStdString(src_) + "/bad.avi";
    testsupport::WriteFile(bad.toStdString(), "this is not a video\n");
    // Twelve files gone before they could be added: the box lists ten failures and counts the
    // rest, so that it stays within the screen however many fail.
    QStringList gone;
    for (int i = 1; i <= 12; ++i) gone << QString::fromStdString(src_) + "/gone" + QString::number(i) + ".avi";

    AddSeveral(QStringList{a} + gone + QStringList{bad, b, c});
    EXPECT_EQ(Sources(), QStringList({c, b, a}));
    EXPECT_EQ(OutputName(0), out_ + "/c.mp3");
    EXPECT_EQ(OutputName(1), out_ + "/b.mp3");
    EXPECT_EQ(OutputName(2), out_ + "/a.mp3");
    EXPECT_EQ(Cell(1, app::kColSourceType), "RMVB");
    EXPECT_EQ(Cell(2, app::kColTargetType), "MP3");
    // The several-files dialog, and one message for the files that were not added.
    ASSERT_EQ(dialogs_.openRequests.size(), 1u);
    EXPECT_TRUE(dialogs_.openRequests[0].multiple);
    const auto notices = MessagesCaptioned(dialogs_, U(kNotice));
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_TRUE(notices[0].text.contains(U("无法识别的音频或视频文件！") + bad)) << notices[0].text;
    EXPECT_TRUE(notices[0].text.contains(gone[11] + "\n"));
    EXPECT_FALSE(notices[0].text.contains(gone[0] + "\n"));
    EXPECT_TRUE(notices[0].text.endsWith(U("……另有 3 项未列出"))) << notices[0].text;
    EXPECT_EQ(notices[0].icon, platform::MessageIcon::Information);
    EXPECT_TRUE(LogText().contains(U("***文件打开失败 ")));
    // The last row is selected; no cut range can be chosen for several files.
    EXPECT_EQ(form_->AdvListView1()->selectionModel()->selectedRows().value(0).row(), 2);
    EXPECT_EQ(form_->JobSlots()[0].InputOptions.StartTime, 0);
    EXPECT_EQ(form_->FFmpegVCL1().TaskCount(), 3);
}

TEST_F(JobList, EveryColumnFitsTheList) {
    // Rows enough for the vertical scroll bar: "状态" still lies inside the list, and each caption
    // and the longest status fit their columns.
    for (int i = 0; i < 12; ++i) AddOne(Clip("a rather long source file name for the list.avi"));
    form_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
    QTableView* list = form_->AdvListView1();
    ASSERT_TRUE(list->verticalScrollBar()->isVisible());
    const int status = app::kColStatus;
    EXPECT_LE(list->columnViewportPosition(status) + list->columnWidth(status),
              list->viewport()->width());
    const QFontMetrics header(list->horizontalHeader()->font());
    for (int c = 0; c < app::kColumnCount; ++c)
        EXPECT_LE(header.horizontalAdvance(JobListModel::Caption(c)) + 8, list->columnWidth(c));
    EXPECT_LE(list->fontMetrics().horizontalAdvance(U("转换中...")) + 6, list->columnWidth(status));
    EXPECT_GE(list->columnWidth(app::kColSource), 60);
}

TEST_F(JobList, ADatSourceIsOpenedAsMpeg) {
    const QString dat = MakeClip(src_, "VCD.DAT",
                                 "-f lavfi -i testsrc=size=352x288:rate=25:duration=1 -f lavfi "
                                 "-i sine=duration=1 -c:v mpeg1video -c:a mp2 -f mpeg");
    AddOne(dat);
    ASSERT_EQ(form_->Model()->rowCount(), 1);
    EXPECT_EQ(form_->JobSlots()[0].InputOptions.FileFormat, "mpeg");
    EXPECT_EQ(Cell(0, app::kColSourceType), "DAT");
    const QString avi = Clip("plain.avi");
    AddOne(avi);
    EXPECT_EQ(form_->JobSlots()[1].InputOptions.FileFormat, "");
}

TEST_F(JobList, FailedAdditionsTellTheUserWhy) {
    // A file the probe cannot read.
    const QString text = QString::fromStdString(src_) + "/notes.mp4";
    testsupport::WriteFile(text.toStdString(), "plain text, not a video");
    dialogs_.openAnswers.push_back({text});
    {
        Script script(PickAndConfirm(form_.get()));
        form_->MenuItem15Click();
    }
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_EQ(dialogs_.messages[0].caption, U(kNotice));
    EXPECT_TRUE(dialogs_.messages[0].text.startsWith(U("无法识别的音频或视频文件！") + text));
    EXPECT_TRUE(dialogs_.messages[0].text.endsWith(U("\n源文件无法读取或已损坏。")));
    EXPECT_TRUE(LogText().contains(U("***文件打开失败 ")));

    // An output that cannot be set up: the chosen folder lies under a file.
    const QString blocked = QString::fromStdString(src_) + "/afile/out";
    testsupport::WriteFile(src_ + "/afile", "x");
    dialogs_.folderAnswers.push_back(blocked);
    form_->suiButton3Click();
    ASSERT_EQ(form_->OutputFolder(), blocked);
    AddOne(Clip("clip.avi"));
    ASSERT_EQ(dialogs_.messages.size(), 2u);
    EXPECT_TRUE(dialogs_.messages[1].text.startsWith(U("不能进行正常转换！")))
        << dialogs_.messages[1].text;
    EXPECT_TRUE(LogText().contains(U("***不能进行正常转换: ")));
    EXPECT_EQ(form_->Model()->rowCount(), 0);
    EXPECT_EQ(form_->FFmpegVCL1().TaskCount(), 0) << "the task was removed again";
    EXPECT_EQ(form_->JobSlots().InUseCount(), 0);
    EXPECT_FALSE(Enabled("ToolButton3"));
}

TEST_F(JobList, CancellingThePickerAddsNothing) {
    AddOne(Clip("clip.avi"), PickAndCancel(form_.get()));
    EXPECT_EQ(form_->Model()->rowCount(), 0);
    EXPECT_EQ(form_->FFmpegVCL1().TaskCount(), 0);
    EXPECT_TRUE(dialogs_.messages.empty());
    // A cancelled file dialog does not even open the picker.
    Script none({{[&] { return form_->Form7()->isVisible(); }, [] {}}});
    form_->MenuItem15Click();
    EXPECT_FALSE(none.Finished());
}

TEST_F(JobList, NoMoreThan501AdditionsBeforeTheListIsCleared) {
    const QString wav = Clip("tone.wav", "wav_pcm");
    QStringList many;
    for (int i = 0; i < 502; ++i) many << wav;
    AddSeveral(many);
    EXPECT_EQ(form_->Model()->rowCount(), 501);
    EXPECT_EQ(OutputName(500), out_ + "/tone(New_500).mp3");
    ASSERT_EQ(dialogs_.messages.size(), 1u) << "the 502nd file is reported";
    EXPECT_TRUE(dialogs_.messages[0].text.contains("501"));

    // Removing a row frees no slot: refused before any dialog opens.
    Select(0);
    form_->btnRemoveClick();
    EXPECT_EQ(form_->Model()->rowCount(), 500);
    const size_t opened = dialogs_.openRequests.size();
    form_->MenuItem15Click();
    form_->N2Click();
    EXPECT_EQ(dialogs_.openRequests.size(), opened);
    ASSERT_EQ(dialogs_.messages.size(), 3u);
    EXPECT_EQ(dialogs_.messages[2].caption, U(kNotice));
    EXPECT_EQ(form_->Model()->rowCount(), 500);

    // Clearing frees them all.
    form_->btnClearClick();
    AddOne(wav);
    EXPECT_EQ(form_->Model()->rowCount(), 1);
}

TEST_F(JobList, RemovingTheMiddleRowKeepsEachRowsSettings) {
    const QString a = Clip("a.avi"), b = Clip("b.avi"), c = Clip("c.avi");
    AddOne(a);
    AddOne(b);
    AddOne(c);
    ASSERT_EQ(form_->FFmpegVCL1().TaskCount(), 3);
    // Nothing selected: the user is told.
    form_->AdvListView1()->clearSelection();
    form_->btnRemoveClick();
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_EQ(dialogs_.messages[0].text, U("请先选择您需要删除的项目！"));

    Select(1);
    parts_->clear();
    form_->findChild<QPushButton*>("suiButton6")->click();
    EXPECT_EQ(Sources(), QStringList({a, c}));
    EXPECT_EQ(Numbers(), QStringList({"1", "2"}));
    EXPECT_EQ(OutputName(0), out_ + "/a.mp3");
    EXPECT_EQ(OutputName(1), out_ + "/c.mp3");
    EXPECT_EQ(form_->JobSlots()[2].State, app::SlotState::Free);
    EXPECT_EQ(form_->JobSlots()[app::JobSlots::kCount - 1].State, app::SlotState::Retired);
    EXPECT_EQ(form_->FFmpegVCL1().TaskCount(), 2);
    // The player stopped first and again at the end; rearranging loads nothing.
    EXPECT_EQ(parts_->calls.front(), "player:Stop");
    EXPECT_EQ(parts_->calls.back(), "player:StopAndRepaint");
    EXPECT_EQ(parts_->count("player:PlaySelected"), 0);
    EXPECT_FALSE(Enabled("ToolButton12"));
    EXPECT_FALSE(Enabled("suiButton6"));
    EXPECT_FALSE(form_->AdvListView1()->currentIndex().isValid()) << "no row looks chosen";
    EXPECT_TRUE(Enabled("suiButton7"));
    EXPECT_TRUE(Enabled("ToolButton3"));

    // The next addition takes the slot after the last row.
    AddOne(Clip("d.avi"));
    EXPECT_EQ(form_->JobSlots()[2].State, app::SlotState::InUse);
    EXPECT_EQ(OutputName(2), out_ + "/d.mp3");

    // Removing every row leaves the list's buttons unusable.
    for (int i = 0; i < 3; ++i) {
        Select(0);
        form_->btnRemoveClick();
    }
    EXPECT_EQ(form_->Model()->rowCount(), 0);
    for (const char* name : {"ToolButton2", "ToolButton3", "Button10", "Button11", "suiButton7"})
        EXPECT_FALSE(Enabled(name)) << name;
}

TEST_F(JobList, MovingRowsSwapsTheirSlots) {
    const QString a = Clip("a.avi"), b = Clip("b.avi");
    AddOne(a);
    AddOne(b);
    Select(0);
    parts_->clear();
    form_->findChild<QPushButton*>("Button10")->click();  // the first row cannot go up
    EXPECT_EQ(Sources(), QStringList({a, b}));
    form_->findChild<QPushButton*>("Button11")->click();
    EXPECT_EQ(Sources(), QStringList({b, a}));
    EXPECT_EQ(Numbers(), QStringList({"1", "2"}));
    EXPECT_EQ(OutputName(0), out_ + "/b.mp3");
    EXPECT_EQ(OutputName(1), out_ + "/a.mp3");
    EXPECT_EQ(form_->AdvListView1()->selectionModel()->selectedRows().value(0).row(), 1)
        << "the selection follows the moved row";
    form_->Button11Click();  // the last row cannot go down
    EXPECT_EQ(Sources(), QStringList({b, a}));
    form_->Button10Click();
    EXPECT_EQ(Sources(), QStringList({a, b}));
    EXPECT_EQ(parts_->count("player:PlaySelected"), 0) << "moving loads nothing";
    EXPECT_FALSE(form_->ListEditing());
}

TEST_F(JobList, ClearingEmptiesListSlotsAndTasks) {
    AddOne(Clip("a.avi"));
    AddOne(Clip("b.avi"));
    parts_->clear();
    form_->findChild<QToolButton*>("ToolButton2")->click();
    EXPECT_EQ(form_->Model()->rowCount(), 0);
    EXPECT_EQ(form_->FFmpegVCL1().TaskCount(), 0);
    EXPECT_EQ(form_->JobSlots().InUseCount(), 0);
    EXPECT_EQ(parts_->count("player:StopAndRepaint"), 1);
    EXPECT_EQ(form_->Fields().JobVolume, "256");
    EXPECT_EQ(form_->Fields().JobAudioBitRate, -1);
    EXPECT_TRUE(Enabled("ToolButton1"));
    for (const char* name : {"ToolButton12", "ToolButton2", "ToolButton3", "Button10", "Button11",
                             "suiButton6", "suiButton7"})
        EXPECT_FALSE(Enabled(name)) << name;
}

TEST_F(JobList, SelectingClickingAndInformation) {
    const QString a = Clip("a.avi"), b = Clip("b.avi");
    AddOne(a);
    AddOne(b);
    form_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
    parts_->clear();
    Select(0);
    EXPECT_EQ(parts_->calls, (std::vector<std::string>{"player:ResetSeekBar",
                                                       "player:Select " + a.toStdString(),
                                                       "player:PlaySelected"}));
    // "信息" shows the selected row's facts (a double-click too: WithWindows.InfoButtonAnd…).
    form_->findChild<QPushButton*>("suiButton12")->click();
    EXPECT_EQ(parts_->count("info:ShowFor " + a.toStdString()), 1);

    // A click on empty space deselects and stops the player: "移除" has nothing to act on.
    parts_->clear();
    QTest::mouseClick(form_->AdvListView1()->viewport(), Qt::LeftButton, {}, QPoint(200, 200));
    EXPECT_TRUE(form_->AdvListView1()->selectionModel()->selectedRows().isEmpty());
    EXPECT_EQ(parts_->count("player:Stop"), 1);
    EXPECT_FALSE(Enabled("ToolButton12"));
    // Without a selection, or with its file gone, "信息" shows nothing.
    form_->suiButton12Click();
    Select(0);
    QFile::remove(a);
    form_->suiButton12Click();
    EXPECT_EQ(parts_->count("info:ShowFor " + a.toStdString()), 0);
}

TEST_F(JobList, FilesFromTheCommandLineAreAddedOnceTheWindowIsShown) {
    const QString a = Clip("a.avi"), b = Clip("b.avi");
    form_->AddFilesOnShow({a, b});
    EXPECT_EQ(form_->Model()->rowCount(), 0) << "nothing before the window is shown";
    Script script(PickAndConfirm(form_.get()));
    form_->show();
    ASSERT_TRUE(WaitFor([&] { return form_->Model()->rowCount() == 2; }));
    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(Sources(), QStringList({b, a})) << "as the several-files addition orders them";
    EXPECT_TRUE(dialogs_.openRequests.empty()) << "no file dialog";
    const auto first = std::find(parts_->calls.begin(), parts_->calls.end(),
                                 std::string("password:CheckAtStart"));
    const auto added = std::find(parts_->calls.begin(), parts_->calls.end(),
                                 "player:Select " + a.toStdString());
    EXPECT_LT(first, added) << "the password check comes first";
}
