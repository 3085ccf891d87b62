// The about box (TForm4), the password window (TForm5), the update dialog (TForm6) and the skin
// menu on their own, offscreen, with scripted message boxes, a recording shell, temporary lock
// files and file:// version files.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTimer>
#include <cstdlib>
#include <functional>

#include <gtest/gtest.h>

#include "FakePlatform.h"
#include "TestSupport.h"
#include "WidgetTestSupport.h"
#include "app/AboutDialog.h"
#include "app/Menus.h"
#include "app/PasswordDialog.h"
#include "app/UpdateDialog.h"
#include "platform/AppPaths.h"
#include "platform/Downloader.h"
#include "platform/IniFile.h"
#include "platform/PasswordLock.h"
#include "platform/Skins.h"

using platform::MessageIcon;

namespace {

using widgettest::Button;
using widgettest::Q;
using widgettest::U;

void EnsureApp() {
    widgettest::EnsureApp("secondary_windows_tests");
    ::setenv("TANDREL_DATA_DIR", TANDREL_SOURCE_RESOURCES, 1);
}

// Calls `act` once `window` is visible, from inside its modal loop (polling every 5 ms); gives
// up after about 20 s by rejecting it.
void WhenShown(QDialog* window, std::function<void()> act) {
    auto* timer = new QTimer;
    auto ticks = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [=] {
        if (window->isVisible()) {
            timer->stop();
            timer->deleteLater();
            act();
        } else if (++*ticks > 4000) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "the window was never shown";
        }
    });
    timer->start(5);
}

void Click(QWidget* w) {
    const QPointF at(w->width() / 2.0, w->height() / 2.0);
    QMouseEvent press(QEvent::MouseButtonPress, at, w->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, w->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QApplication::sendEvent(w, &release);
}

void PressKey(QWidget* w, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
}

QString SkinSheet(const char* value) {
    return platform::skins::StyleSheet(*platform::skins::Find(QLatin1String(value)));
}

// Counts the times a window was shown.
class ShowCounter : public QObject {
public:
    explicit ShowCounter(QWidget* w) { w->installEventFilter(this); }
    int shows = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Show) ++shows;
        return false;
    }
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// About box

TEST(AboutBox, TextsLinksAndSkin) {
    EnsureApp();
    ASSERT_TRUE(platform::skins::SaveSkin(QStringLiteral("skin4")));
    platform::FakeShell shell;
    TForm4 about(&shell);
    EXPECT_EQ(about.windowTitle(), U("关于"));
    EXPECT_EQ(about.size(), QSize(410, 283));
    QStringList texts;
    for (QLabel* l : about.findChildren<QLabel*>()) texts << l->text();
    EXPECT_TRUE(texts.contains(QStringLiteral("Tandrel   1.7.5")));
    EXPECT_TRUE(texts.contains(U("作者：Orvane开发组")));
    EXPECT_EQ(about.WebLink()->text(), U("网址：https://tandrel.example/"));
    EXPECT_EQ(about.MailLink()->text(), U("联系信箱：support@tandrel.example"));
    EXPECT_EQ(about.DesktopLink()->text(), U("桌面资源网址：https://desktop.tandrel.example/"));
    for (LinkLabel* link : {about.WebLink(), about.MailLink(), about.DesktopLink()})
        EXPECT_TRUE(link->font().underline());

    QString sheet;
    WhenShown(&about, [&] {
        sheet = about.styleSheet();
        Click(about.WebLink());
        Click(about.MailLink());
        PressKey(about.DesktopLink(), Qt::Key_Return);  // keyboard users too
        Button(&about, "确定")->click();
    });
    EXPECT_EQ(about.exec(), QDialog::Accepted);
    EXPECT_EQ(sheet, SkinSheet("skin4"));
    ASSERT_EQ(shell.links.size(), 3u);
    EXPECT_EQ(shell.links[0], QUrl(QStringLiteral("https://tandrel.example/")));
    EXPECT_EQ(shell.links[1], QUrl(QStringLiteral("mailto:support@tandrel.example")));
    EXPECT_EQ(shell.links[2], QUrl(QStringLiteral("https://desktop.tandrel.example/")));
}

// ---------------------------------------------------------------------------------------------
// Password window

class PasswordWindow : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApp();
        lock_ = testsupport::ScratchDir("lock") + "/lock.ini";
        ::setenv("TANDREL_LOCK_FILE", lock_.c_str(), 1);
    }
    void Lock(const std::string& text) { testsupport::WriteFile(lock_, text); }

    // Runs the check, typing `entry` and pressing "确定" (or doing `act` instead).
    bool Check(const QString& entry, std::function<void(TForm5&)> act = {}) {
        WhenShown(&window_, [this, entry, act] {
            entryAtShow_ = window_.PasswordEdit()->text();
            sheetAtShow_ = window_.styleSheet();
            if (act) {
                act(window_);
                return;
            }
            window_.PasswordEdit()->setText(entry);
            Button(&window_, "确定")->click();
        });
        return window_.RunCheck();
    }

    std::string lock_;
    platform::FakeDialogs dialogs_;
    struct AppFirst {
        AppFirst() { EnsureApp(); }
    } app_;  // the application exists before the window
    TForm5 window_{&dialogs_};
    QString entryAtShow_ = QStringLiteral("unset");
    QString sheetAtShow_;
};

TEST_F(PasswordWindow, NoLockNoWindow) {
    ShowCounter shows(&window_);
    EXPECT_TRUE(window_.RunCheck());
    EXPECT_EQ(shows.shows, 0);
    EXPECT_FALSE(QFileInfo::exists(Q(lock_)));  // the check creates nothing
    // A lock file without the section is no lock either.
    Lock("[Other]\nps=00\n");
    EXPECT_TRUE(window_.RunCheck());
    EXPECT_EQ(shows.shows, 0);
}

TEST_F(PasswordWindow, TheRightPasswordContinues) {
    Lock("[Check_PsP]\nps=" + platform::lock::ScrambledHex(U("门1a")).toStdString() + "\n");
    const int64_t mtime = testsupport::MTimeNs(lock_);
    window_.PasswordEdit()->setText(QStringLiteral("left over"));
    ASSERT_TRUE(platform::skins::SaveSkin(QStringLiteral("skin15")));
    EXPECT_TRUE(Check(U("门1a")));
    EXPECT_TRUE(dialogs_.messages.empty());
    EXPECT_EQ(entryAtShow_, QString());  // cleared at the show
    EXPECT_EQ(sheetAtShow_, SkinSheet("skin15"));
    EXPECT_EQ(window_.windowTitle(), U("密码窗口"));
    EXPECT_EQ(window_.size(), QSize(360, 207));
    EXPECT_EQ(window_.PasswordEdit()->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(window_.windowFlags() & Qt::WindowCloseButtonHint);
    // Read only: the lock is as it was.
    EXPECT_EQ(testsupport::MTimeNs(lock_), mtime);
}

TEST_F(PasswordWindow, AWrongPasswordEndsWithTheMessage) {
    Lock("[Check_PsP]\nps=" + platform::lock::ScrambledHex(QStringLiteral("secret")).toStdString() +
         "\n");
    EXPECT_FALSE(Check(QStringLiteral("Secret")));
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_EQ(dialogs_.messages[0].caption, U("错误"));
    EXPECT_EQ(dialogs_.messages[0].text, U("输入的密码错误,请和本机管理人员联系！"));
    EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(dialogs_.messages[0].buttons, platform::MessageButtons(platform::MessageButton::Ok));
    // An empty entry is wrong too when a password is stored.
    EXPECT_FALSE(Check(QString()));
    EXPECT_EQ(dialogs_.messages.size(), 2u);
}

TEST_F(PasswordWindow, TheMasterPasswordContinues) {
    Lock("[Check_PsP]\nps=" + platform::lock::ScrambledHex(QStringLiteral("secret")).toStdString() +
         "\n");
    EXPECT_TRUE(Check(QLatin1String(platform::lock::kMasterPassword)));
    EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(PasswordWindow, QuitEscapeAndCloseEndWithoutAMessage) {
    Lock("[Check_PsP]\nps=3b\n");
    EXPECT_FALSE(Check({}, [](TForm5& w) { Button(&w, "退出")->click(); }));
    EXPECT_FALSE(Check({}, [](TForm5& w) { PressKey(w.PasswordEdit(), Qt::Key_Escape); }));
    EXPECT_FALSE(Check({}, [](TForm5& w) { w.close(); }));  // the window manager's close
    EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(PasswordWindow, ALockWithoutAPasswordLetsAnEmptyEntryPass) {
    Lock("[Check_PsP]\n");
    EXPECT_TRUE(Check(QString()));
    EXPECT_FALSE(Check(QStringLiteral("x")));
}

TEST_F(PasswordWindow, EnterConfirms) {
    Lock("[Check_PsP]\nps=" + platform::lock::ScrambledHex(QStringLiteral("ab")).toStdString() +
         "\n");
    EXPECT_TRUE(Check({}, [](TForm5& w) {
        w.PasswordEdit()->setText(QStringLiteral("ab"));
        PressKey(w.PasswordEdit(), Qt::Key_Return);
    }));
}

// ---------------------------------------------------------------------------------------------
// Update dialog

class UpdateDialog : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApp();
        server_ = testsupport::ScratchDir("server");
    }
    QUrl Serve(const std::string& text) {
        testsupport::WriteFile(server_ + "/update.ini", text);
        return QUrl::fromLocalFile(Q(server_ + "/update.ini"));
    }
    // Shows the dialog (its FormShow), presses "检测升级", and returns the text box's lines.
    QStringList RunCheck(TForm6& dialog) {
        dialog.show();
        dialog.CheckButton()->click();
        return dialog.Memo()->toPlainText().split(QLatin1Char('\n'));
    }

    std::string server_;
    platform::QtDownloader downloader_;
    platform::FakeShell shell_;
};

TEST_F(UpdateDialog, TheSameVersion) {
    TForm6 dialog(&downloader_, &shell_, Serve("[version]\nnew=1.63\ndate=2024-05-01\n"));
    EXPECT_EQ(dialog.CurrentVersion(), QStringLiteral("1.63"));
    EXPECT_EQ(RunCheck(dialog), QStringList{U("没有检测到新版本,现在使用的为最新版本!")});
    EXPECT_EQ(dialog.Status()->text(), U("没有检测到新版本,现在使用的为最新版本!"));
    EXPECT_EQ(dialog.Progress()->value(), 100);
    EXPECT_FALSE(dialog.DownloadButton()->isEnabled());
    // Saved as update.ini in the settings folder.
    EXPECT_EQ(TForm6::VersionFile(),
              platform::AppPaths::ConfigDir() + QStringLiteral("/update.ini"));
    EXPECT_EQ(testsupport::ReadFile(TForm6::VersionFile().toStdString()),
              "[version]\nnew=1.63\ndate=2024-05-01\n");
}

TEST_F(UpdateDialog, AnOlderVersionCountsAsNew) {
    TForm6 dialog(&downloader_, &shell_,
                  Serve("[Version]\nNEW=1.5\ndate=2024-05-01\nlinks1=https://dl.tandrel.example/"
                        "tandrel-1.5.tar.gz\nsize=12.3 MB\n"));
    const QStringList lines = RunCheck(dialog);
    EXPECT_EQ(lines,
              (QStringList{
                  U("发现新版本程序...."),
                  U("软件名称:Tandrel"),
                  U("最新版本:1.5"),
                  U("更新日期:2024-05-01"),
                  U("软件大小:12.3 MB"),
                  U("下载链接:https://dl.tandrel.example/tandrel-1.5.tar.gz"),
                  QString(),
                  U("检测完成,您可以点击<开始下载>按钮打开下载最新升级版本。推荐您使用（网际快车）"
                    "软件下载。"),
              }));
    EXPECT_EQ(dialog.Status()->text(), U("发现新版本程序,您可以升级下载新版本。"));
    EXPECT_EQ(dialog.Progress()->value(), 100);
    ASSERT_TRUE(dialog.DownloadButton()->isEnabled());
    EXPECT_EQ(dialog.DownloadLink(),
              QStringLiteral("https://dl.tandrel.example/tandrel-1.5.tar.gz"));

    dialog.DownloadButton()->click();
    EXPECT_TRUE(dialog.Memo()->toPlainText().isEmpty());
    ASSERT_EQ(shell_.links.size(), 1u);
    EXPECT_EQ(shell_.links[0],
              QUrl(QStringLiteral("https://dl.tandrel.example/tandrel-1.5.tar.gz")));

    // Reopening resets the dialog; the link is kept until another check finds one.
    dialog.hide();
    dialog.show();
    EXPECT_TRUE(dialog.Memo()->toPlainText().isEmpty());
    EXPECT_EQ(dialog.Status()->text(), U("状态信息:"));
    EXPECT_EQ(dialog.Progress()->value(), 0);
    EXPECT_FALSE(dialog.DownloadButton()->isEnabled());
    EXPECT_EQ(dialog.DownloadLink(),
              QStringLiteral("https://dl.tandrel.example/tandrel-1.5.tar.gz"));
}

TEST_F(UpdateDialog, NoVersionFileOrOneThatNamesNoVersionIsAFailedConnection) {
    const QString failed = U("连接失败!可能网络忙或没连接到网络...");
    for (const char* text :
         {static_cast<const char*>(nullptr), "<html><body>Sign in to the network</body></html>\n",
          "[version]\ndate=2024-05-01\nlinks1=https://x.example/a\n", "[version]\nnew=\n", ""}) {
        SCOPED_TRACE(text ? text : "no version file");
        const QUrl url =
            text ? Serve(text) : QUrl::fromLocalFile(Q(server_ + "/missing/update.ini"));
        TForm6 dialog(&downloader_, &shell_, url);
        EXPECT_EQ(RunCheck(dialog), QStringList{failed});
        EXPECT_EQ(dialog.Status()->text(), failed);
        EXPECT_EQ(dialog.Progress()->value(), 20);
        EXPECT_FALSE(dialog.DownloadButton()->isEnabled());
        EXPECT_TRUE(dialog.DownloadLink().isEmpty());
        EXPECT_TRUE(dialog.CheckButton()->isEnabled());
        EXPECT_TRUE(dialog.BackButton()->isEnabled());
    }
}

TEST_F(UpdateDialog, OnlyAWebLinkEnablesDownload) {
    for (const char* link : {"", "ftp://dl.tandrel.example/a.tar.gz", "file:///etc/passwd",
                             "javascript:alert(1)", "not a link", "https://"}) {
        TForm6 dialog(&downloader_, &shell_,
                      Serve(std::string("[version]\nnew=2.0\nlinks1=") + link + "\n"));
        const QStringList lines = RunCheck(dialog);
        EXPECT_EQ(lines.value(2), U("最新版本:2.0")) << link;
        EXPECT_EQ(lines.value(5), U("下载链接:") + QString::fromLatin1(link)) << link;
        EXPECT_EQ(lines.size(), 7) << link;  // no "click 开始下载" line
        EXPECT_FALSE(dialog.DownloadButton()->isEnabled()) << link;
        EXPECT_TRUE(dialog.DownloadLink().isEmpty()) << link;
    }
}

TEST_F(UpdateDialog, ButtonsAreDisabledWhileTheCheckRuns) {
    platform::FakeDownloader fake;
    const QUrl url(QStringLiteral("https://update.tandrel.example/update.ini"));
    fake.bodies[url.toString()] = "[version]\nnew=1.7\nlinks1=https://dl.tandrel.example/x\n";
    TForm6 dialog(&fake, &shell_, url);
    bool checked = false;
    fake.during = [&](const QUrl&) {
        checked = true;
        EXPECT_FALSE(dialog.CheckButton()->isEnabled());
        EXPECT_FALSE(dialog.DownloadButton()->isEnabled());
        EXPECT_FALSE(dialog.BackButton()->isEnabled());
        EXPECT_EQ(dialog.Progress()->value(), 20);
        EXPECT_EQ(dialog.Status()->text(), U("正在连接软件网站...."));
        EXPECT_EQ(dialog.Memo()->toPlainText(), U("正在连接软件网站,请您耐心等待...."));
        dialog.reject();  // Escape meanwhile does not close it
        EXPECT_TRUE(dialog.isVisible());
    };
    RunCheck(dialog);
    EXPECT_TRUE(checked);
    ASSERT_EQ(fake.requests.size(), 1u);
    EXPECT_EQ(fake.requests[0], url);
    EXPECT_TRUE(dialog.CheckButton()->isEnabled());
    EXPECT_TRUE(dialog.DownloadButton()->isEnabled());
    EXPECT_TRUE(dialog.BackButton()->isEnabled());
    Button(&dialog, "返回")->click();
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(UpdateDialog, LayoutAndSkin) {
    ASSERT_TRUE(platform::skins::SaveSkin(QStringLiteral("skin9")));
    TForm6 dialog(&downloader_, &shell_, Serve("[version]\nnew=1.63\n"));
    dialog.show();
    EXPECT_EQ(dialog.styleSheet(), SkinSheet("skin9"));
    EXPECT_EQ(dialog.windowTitle(), U("网上升级"));
    EXPECT_EQ(dialog.size(), QSize(604, 412));
    EXPECT_EQ(dialog.Memo()->size(), QSize(377, 145));
    EXPECT_EQ(dialog.Progress()->minimum(), 0);
    EXPECT_EQ(dialog.Progress()->maximum(), 100);
    EXPECT_TRUE(dialog.Progress()->isTextVisible());
    // Buttons left to right.
    EXPECT_LT(dialog.CheckButton()->x(), dialog.DownloadButton()->x());
    EXPECT_LT(dialog.DownloadButton()->x(), dialog.BackButton()->x());
    QStringList texts;
    for (QLabel* l : dialog.findChildren<QLabel*>()) texts << l->text();
    for (const char* line :
         {"软件更新步骤:", "1.请确认您已经连接到网上,如果您设置了防火墙,必须允许程序通过.",
          "2.检测软件是否有新版本,如果有点击下载按钮.",
          "3.软件更新可能需要30秒--几分钟,这期间请您耐心等待...", "状态信息:"})
        EXPECT_TRUE(texts.contains(U(line))) << line;
}

// ---------------------------------------------------------------------------------------------
// Skin menu

TEST(SkinMenu, SeventeenItemsInOrderWithoutCheckMarks) {
    EnsureApp();
    QWidget main;
    QMenu menu(&main);
    menus::FillSkinMenu(&menu, &main);
    QStringList captions;
    for (QAction* a : menu.actions()) {
        captions << a->text();
        EXPECT_FALSE(a->isCheckable());
    }
    EXPECT_EQ(captions, (QStringList{U("微软MSN皮肤"), U("冬天的色彩皮肤"), U("WMP10皮肤"),
                                     U("WinXP标准皮肤"), U("Protein样式皮肤"), U("RealOne风格皮肤"),
                                     U("深蓝色皮肤"), U("蓝色玻璃皮肤"), U("Vista风格皮肤"),
                                     U("Mac苹果皮肤"), U("深绿色皮肤"), U("桔红色皮肤"),
                                     U("绿色玻璃皮肤"), U("时尚蓝色blue皮肤"), U("时尚的Cyan皮肤"),
                                     U("运动黑色皮肤"), U("XP绿色皮肤")}));

    // Each item saves its value and restyles the main window at once.
    const QStringList values = {"skin2",  "skin18", "skin3",  "skin4",  "skin5",  "skin6",
                                "skin7",  "skin8",  "skin9",  "skin1",  "skin10", "skin11",
                                "skin12", "skin13", "skin14", "skin15", "skin16"};
    const platform::IniFile settings(platform::AppPaths::SettingsFile());
    for (int i = 0; i < menu.actions().size(); ++i) {
        menu.actions()[i]->trigger();
        EXPECT_EQ(settings.ReadString(QStringLiteral("skin"), QStringLiteral("SetSkin")),
                  values[i]);
        EXPECT_EQ(main.styleSheet(), SkinSheet(values[i].toLatin1().constData()));
    }
}

// ---------------------------------------------------------------------------------------------
// Help pages

TEST(HelpPages, EveryPageAndPictureThatIsLinkedExists) {
    const QDir help(QStringLiteral(TANDREL_SOURCE_RESOURCES "/help"));
    const QStringList pages = help.entryList({QStringLiteral("*.html")}, QDir::Files);
    ASSERT_TRUE(pages.contains(QStringLiteral("index.html")));
    ASSERT_GE(pages.size(), 5);
    const QRegularExpression target(QStringLiteral("(?:href|src)=\"([^\"#:]+)\""));
    QSet<QString> linkedFromIndex;
    for (const QString& page : pages) {
        QFile file(help.filePath(page));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << page.toStdString();
        const QString text = QString::fromUtf8(file.readAll());
        EXPECT_TRUE(text.contains(QStringLiteral("<meta charset=\"utf-8\">")))
            << page.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("lang=\"zh-CN\""))) << page.toStdString();
        for (auto it = target.globalMatch(text); it.hasNext();) {
            const QString linked = it.next().captured(1);
            EXPECT_TRUE(QFileInfo::exists(help.filePath(linked)))
                << page.toStdString() << " links the missing " << linked.toStdString();
            if (page == QLatin1String("index.html")) linkedFromIndex.insert(linked);
        }
    }
    for (const QString& page : pages)
        EXPECT_TRUE(page == QLatin1String("index.html") || linkedFromIndex.contains(page))
            << page.toStdString() << " cannot be reached from the index";
}
