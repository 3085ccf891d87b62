// Start-up of the main window: the settings file and the output folder, the frame's controls,
// the order in which parts are made and called, showing and closing.
#include <QComboBox>
#include <QDir>
#include <QEnterEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QToolButton>

#include "AppTestSupport.h"
#include "TestSupport.h"
#include "app/JobListModel.h"
#include "engine/FFmpegLogger.h"
#include "formats/PickerDialog.h"
#include "platform/AppPaths.h"
#include "platform/IniFile.h"

using namespace apptest;

namespace {

QString Home() { return qEnvironmentVariable("HOME"); }
QString DefaultFolder() { return Home() + QStringLiteral("/Video_Directory"); }
QString SettingsPath() { return qEnvironmentVariable("TANDREL_CONFIG_DIR") + "/system.ini"; }
QString StoredOutPath() {
    return platform::IniFile(SettingsPath()).ReadString("OutPath", "OutPath", "<missing>");
}

class Startup : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        QFile::remove(SettingsPath());
        QDir(DefaultFolder()).removeRecursively();
    }
    QLineEdit* Edit() const { return form_->findChild<QLineEdit*>("suiEdit1"); }
    QComboBox* Combo(const char* name) const { return form_->findChild<QComboBox*>(name); }
    QToolButton* Tool(const char* name) const { return form_->findChild<QToolButton*>(name); }
};

}  // namespace

TEST_F(Startup, FirstStartWritesAndMakesTheDefaultFolder) {
    ASSERT_FALSE(QFileInfo::exists(SettingsPath()));
    Create();
    EXPECT_EQ(StoredOutPath(), DefaultFolder());
    EXPECT_TRUE(QFileInfo(DefaultFolder()).isDir());
    EXPECT_EQ(Edit()->text(), DefaultFolder());
    EXPECT_EQ(form_->OutputFolder(), DefaultFolder());
    EXPECT_TRUE(Edit()->isReadOnly());
    // The folder lies under the test's own home, never the real one.
    EXPECT_TRUE(DefaultFolder().startsWith(qEnvironmentVariable("TANDREL_TEST_TMP")));
}

TEST_F(Startup, UnusableStoredFoldersFallBackToTheDefault) {
    for (const char* stored : {"", "Error", "relative/folder", "C:\\Video_Directory"}) {
        SCOPED_TRACE(stored);
        QDir(DefaultFolder()).removeRecursively();
        ASSERT_TRUE(platform::IniFile(SettingsPath()).WriteString("outpath", "OUTPATH", stored));
        Create();
        EXPECT_EQ(StoredOutPath(), DefaultFolder()) << "written back";
        EXPECT_TRUE(QFileInfo(DefaultFolder()).isDir());
        EXPECT_EQ(Edit()->text(), DefaultFolder());
        form_->close();
        form_.reset();
    }
    EXPECT_FALSE(QFileInfo::exists(QDir::current().filePath("relative/folder")));
}

TEST_F(Startup, ADeletedSavedFolderIsMadeAgain) {
    const QString saved =
        QString::fromStdString(testsupport::ScratchDir("saved")) + QStringLiteral("/a/b/输出");
    ASSERT_TRUE(platform::IniFile(SettingsPath()).WriteString("OutPath", "OutPath", saved));
    ASSERT_FALSE(QFileInfo::exists(saved));
    Create();
    EXPECT_TRUE(QFileInfo(saved).isDir());
    EXPECT_EQ(Edit()->text(), saved);
    EXPECT_EQ(StoredOutPath(), saved) << "a usable folder is not rewritten";
    EXPECT_FALSE(QFileInfo::exists(DefaultFolder()));
}

TEST_F(Startup, SelectorsStartAtTheirValuesEveryTime) {
    for (int run = 0; run < 2; ++run) {
        Create();
        EXPECT_EQ(Combo("suiComboBox1")->currentText(), U("打开文件夹查看转换的文件"));
        EXPECT_EQ(Combo("suiComboBox1")->count(), 3);
        EXPECT_EQ(Combo("suiComboBox4")->currentText(), U("自动生成相应的新文件名"));
        EXPECT_EQ(Combo("suiComboBox2")->currentText(), U("正常转换"));
        EXPECT_EQ(Combo("suiComboBox3")->currentText(), U("1个文件"));
        EXPECT_EQ(Combo("suiComboBox3")->count(), 10);
        EXPECT_EQ(Combo("suiComboBox3")->itemText(9), U("10个文件"));
        EXPECT_FALSE(Combo("suiComboBox2")->isVisibleTo(form_.get()));
        EXPECT_FALSE(Combo("suiComboBox3")->isVisibleTo(form_.get()));
        Combo("suiComboBox1")->setCurrentIndex(0);
        Combo("suiComboBox3")->setCurrentIndex(4);
        form_->close();
        form_.reset();
    }
}

TEST_F(Startup, ToolbarCaptionsHintsAndStartStates) {
    Create();
    struct Expect {
        const char* name;
        const char* caption;
        const char* hint;
        bool enabled;
    };
    const Expect expected[] = {
        {"ToolButton1", "       添加      ", "添加要转换的视频音频文件", true},
        {"ToolButton12", "移除", "从列表中删除选中的文件", false},
        {"ToolButton2", "清空", "清空转换列表", false},
        {"ToolButton3", "转换", "开始转换视频", false},
        {"ToolButton5", "暂停", "暂停视频转换", false},
        {"ToolButton4", "停止", "停止视频转换", false},
        {"ToolButton7", "皮肤", "更换软件外观皮肤", true},
        {"ToolButton11", "帮助", "软件帮助", true},
    };
    auto* status = form_->findChild<QStatusBar*>("suiStatusBar1");
    ASSERT_NE(status, nullptr);
    int lastLeft = -1;
    for (const Expect& e : expected) {
        SCOPED_TRACE(e.name);
        QToolButton* b = Tool(e.name);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->text(), U(e.caption));
        EXPECT_EQ(b->accessibleName(), U(e.caption));
        EXPECT_EQ(b->isEnabled(), e.enabled);
        EXPECT_EQ(b->size(), QSize(70, 76));
        EXPECT_GT(b->x(), lastLeft) << "left to right";
        lastLeft = b->x();
        // The hint reaches the status bar on entering the button and stays there.
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(b, &enter);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(b, &leave);
        EXPECT_EQ(status->currentMessage(), U(e.hint));
    }
    // Separators: 11 after "清空", 8 after "停止".
    EXPECT_EQ(Tool("ToolButton3")->x() - Tool("ToolButton2")->x(), 70 + 11);
    EXPECT_EQ(Tool("ToolButton7")->x() - Tool("ToolButton4")->x(), 70 + 8);
    ASSERT_NE(Tool("ToolButton1")->menu(), nullptr);
    QStringList adds;
    for (QAction* a : Tool("ToolButton1")->menu()->actions()) adds << a->text();
    EXPECT_EQ(adds, QStringList({U("添加一个视频文件"), U("添加多个视频文件")}));
}

TEST_F(Startup, FrameAndGroupsAtTheirPlaces) {
    Create();
    EXPECT_EQ(form_->windowTitle(), "Tandrel");
    EXPECT_EQ(form_->size(), QSize(851, 588));
    EXPECT_EQ(form_->minimumSize(), form_->maximumSize()) << "fixed size";
    EXPECT_EQ(form_->findChild<QWidget*>("suiToolBar1")->geometry(), QRect(0, 29, 851, 100));
    EXPECT_EQ(form_->findChild<QWidget*>("Bevel1")->geometry().topLeft(), QPoint(15, 136));
    EXPECT_EQ(form_->findChild<QWidget*>("RecordingPlayer")->geometry(),
              QRect(16, 144, 329, 289));
    EXPECT_EQ(form_->findChild<QWidget*>("suiRadioGroup1")->geometry(), QRect(352, 144, 481, 289));
    EXPECT_EQ(form_->findChild<QWidget*>("suiRadioGroup2")->geometry(), QRect(16, 440, 817, 105));
    auto* status = form_->findChild<QStatusBar*>("suiStatusBar1");
    EXPECT_EQ(status->geometry(), QRect(0, 569, 851, 19));

    QTableView* list = form_->AdvListView1();
    EXPECT_EQ(list->geometry(), QRect(8, 16, 465, 217));
    EXPECT_EQ(list->accessibleName(), U("转换列表"));
    const char* captions[] = {"序号", "视频源文件", "源格式", "目标格式", "当前时间", "转换进度",
                              "状态"};
    ASSERT_EQ(form_->Model()->columnCount(), 7);
    for (int c = 0; c < 7; ++c)
        EXPECT_EQ(form_->Model()->headerData(c, Qt::Horizontal).toString(), U(captions[c]));
    // Where the columns lie: JobList.EveryColumnFitsTheList.
    EXPECT_EQ(list->verticalHeader()->defaultSectionSize(), 20);

    struct Place {
        const char* name;
        const char* caption;
        QRect rect;
        bool enabled;
    };
    const Place buttons[] = {
        // Nothing to act on in an empty list.
        {"Button10", "上移", QRect(13, 248, 65, 30), false},
        {"Button11", "下移", QRect(108, 248, 65, 30), false},
        {"suiButton6", "移除", QRect(197, 248, 65, 30), false},
        {"suiButton7", "清空", QRect(284, 248, 65, 30), false},
        {"suiButton12", "信息", QRect(381, 248, 68, 30), false},
        {"suiButton3", "浏览...", QRect(628, 25, 69, 25), true},
        {"suiButton11", "打开", QRect(708, 25, 61, 25), true},
    };
    for (const Place& p : buttons) {
        SCOPED_TRACE(p.name);
        auto* b = form_->findChild<QPushButton*>(p.name);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->text(), U(p.caption));
        EXPECT_EQ(b->accessibleName(), U(p.caption));
        EXPECT_EQ(b->geometry(), p.rect);
        EXPECT_EQ(b->isEnabled(), p.enabled);
    }
    EXPECT_EQ(Edit()->geometry(), QRect(128, 28, 481, 19));
    EXPECT_EQ(Combo("suiComboBox4")->geometry().topLeft(), QPoint(128, 59));
    EXPECT_EQ(Combo("suiComboBox4")->width(), 257);
    EXPECT_EQ(Combo("suiComboBox1")->geometry().topLeft(), QPoint(528, 61));
    EXPECT_EQ(Combo("suiComboBox1")->width(), 241);
    EXPECT_EQ(Combo("suiComboBox1")->accessibleName(), U("全部文件转换完毕后："));
    QStringList labels;
    for (QLabel* l : form_->findChild<QWidget*>("suiRadioGroup2")->findChildren<QLabel*>())
        if (l->isVisibleTo(form_.get())) labels << l->text();
    EXPECT_TRUE(labels.contains(U("输出文件存放目录：")));
    EXPECT_TRUE(labels.contains(U("如果输出文件存在：")));
    EXPECT_TRUE(labels.contains(U("全部文件转换完毕后：")));
}

TEST_F(Startup, PartsAreMadeInOrderAndCalledByFormCreate) {
    Create();
    const std::vector<std::string> expected = {
        "create:skins",          "create:help",         "create:password",
        "create:information",    "create:player",       "skins:FillSkinMenu",
        "skins:ApplySaved Form1", "player:ReadSnapshotFormat"};
    EXPECT_EQ(parts_->calls, expected);
    EXPECT_EQ(form_->Form7()->parent(), form_.get());
    EXPECT_FALSE(form_->BatchPaused());
    EXPECT_FALSE(form_->BatchStopRequested());
    EXPECT_FALSE(form_->ListEditing());
    EXPECT_EQ(form_->JobSlots().InUseCount(), 0);
    EXPECT_TRUE(form_->JobSlots().HasFree());
}

TEST_F(Startup, ShowingRunsThePasswordCheckOnceAndClosingDetachesThePartsOnce) {
    Create();
    form_->show();
    ASSERT_TRUE(WaitFor([&] { return parts_->count("password:CheckAtStart") == 1; }));
    form_->hide();
    form_->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(parts_->count("password:CheckAtStart"), 1);
    EXPECT_TRUE(form_->isVisible());
    form_->close();
    EXPECT_EQ(parts_->count("player:DetachHandlers"), 1);
    form_.reset();
    EXPECT_EQ(parts_->count("player:DetachHandlers"), 1) << "closed once";
}

TEST_F(Startup, AFailedPasswordCheckClosesTheWindowBeforeAnythingElse) {
    parts_->passwordResult = false;
    Create();
    form_->AddFilesOnShow({QStringLiteral("/nonexistent/a.avi")});
    form_->show();
    ASSERT_TRUE(WaitFor([&] { return !form_->isVisible(); }));
    EXPECT_EQ(parts_->count("player:DetachHandlers"), 1) << "closed in order";
    EXPECT_TRUE(dialogs_.openRequests.empty());
    EXPECT_TRUE(dialogs_.messages.empty()) << "the file list was never looked at";
}

TEST_F(Startup, HelpMenuRunsItsActions) {
    Create();
    QMenu* menu = form_->findChild<QToolButton*>("ToolButton11")->menu();
    ASSERT_NE(menu, nullptr);
    QStringList captions;
    for (QAction* a : menu->actions()) {
        captions << (a->isSeparator() ? QStringLiteral("-") : a->text());
        if (!a->isSeparator()) a->trigger();
    }
    EXPECT_EQ(captions, QStringList({U("帮助系统?"), U("网上升级..."), "-", U("软件网站"),
                                     U("作者联系信箱"), "-", U("关于软件")}));
    EXPECT_EQ(menu->actions().first()->shortcut(), QKeySequence(Qt::Key_F1));
    const std::vector<std::string> tail(parts_->calls.end() - 5, parts_->calls.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"help:OpenHelp", "help:ShowUpdateDialog",
                                              "help:OpenWebSite", "help:OpenMailAddress",
                                              "help:ShowAbout"}));
}

TEST_F(Startup, BrowsingForTheOutputFolder) {
    Create();
    const QString chosen = QString::fromStdString(testsupport::ScratchDir("chosen"));
    dialogs_.folderAnswers.push_back(chosen);
    form_->findChild<QPushButton*>("suiButton3")->click();
    ASSERT_EQ(dialogs_.folderRequests.size(), 1u);
    EXPECT_EQ(dialogs_.folderRequests[0], U("选择输出文件存放目录"));
    EXPECT_EQ(Edit()->text(), chosen);
    EXPECT_EQ(form_->OutputFolder(), chosen);
    EXPECT_EQ(StoredOutPath(), chosen);

    // Cancelling changes nothing.
    form_->findChild<QPushButton*>("suiButton3")->click();
    EXPECT_EQ(form_->OutputFolder(), chosen);

    // A folder that does not exist is shown and used, but not saved.
    const QString gone = chosen + QStringLiteral("/gone");
    dialogs_.folderAnswers.push_back(gone);
    form_->suiButton3Click();
    EXPECT_EQ(Edit()->text(), gone);
    EXPECT_EQ(StoredOutPath(), chosen);

    form_->findChild<QPushButton*>("suiButton11")->click();
    ASSERT_EQ(shell_.paths.size(), 1u);
    EXPECT_EQ(shell_.paths[0], gone);
}

TEST_F(Startup, LogLinesGoToTheLogTextUntilClosing) {
    Create();
    GetLogger()->LogMessage(nullptr, llWarning, "探测 line");
    const QString expected = QStringLiteral("#%1.4: ").arg(CurrentThreadNumber()) + U("探测 line");
    ASSERT_TRUE(WaitFor([&] { return LogText().contains(expected); }));
    EXPECT_TRUE(LogText().split('\n').contains(expected)) << LogText();
    form_->close();
    GetLogger()->LogMessage(nullptr, llWarning, "after closing");
    TFFLogger::Flush();
    EXPECT_FALSE(LogText().contains("after closing"));
}
