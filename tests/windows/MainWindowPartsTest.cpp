// The windows through the main window (TForm1) with the program's own parts: "信息" and a
// double-click on a row open the information window; the skin menu restyles the main window at
// once and the dialogs at their next showing; the help menu's actions; the password check when
// the window is first shown.
#include <QAbstractItemView>
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTableView>
#include <QToolButton>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "AppTestSupport.h"
#include "TestMedia.h"
#include "TestSupport.h"
#include "WidgetTestSupport.h"
#include "app/AboutDialog.h"
#include "app/JobListModel.h"
#include "app/Links.h"
#include "app/PasswordDialog.h"
#include "app/UpdateDialog.h"
#include "formats/OptionsDialog.h"
#include "formats/PickerDialog.h"
#include "platform/AppPaths.h"
#include "platform/IniFile.h"
#include "platform/PasswordLock.h"
#include "platform/Skins.h"
#include "probe/InfoDialog.h"

using apptest::Script;
using apptest::U;
using apptest::WaitFor;

namespace {

using widgettest::Button;
using widgettest::Q;

QAction* Item(QMenu* menu, const char* caption) {
    for (QAction* a : menu->actions())
        if (a->text() == U(caption)) return a;
    ADD_FAILURE() << "no menu item " << caption;
    return nullptr;
}

QString SkinSheet(const char* value) {
    return platform::skins::StyleSheet(*platform::skins::Find(QLatin1String(value)));
}

QImage Render(QWidget* w) {
    QImage image(w->size(), QImage::Format_ARGB32);
    image.fill(Qt::magenta);
    w->render(&image);
    return image;
}

// WCAG 2: relative luminance of a colour and the contrast ratio of two.
double Luminance(QRgb c) {
    auto linear = [](int v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(qRed(c)) + 0.7152 * linear(qGreen(c)) + 0.0722 * linear(qBlue(c));
}
double Contrast(QRgb a, QRgb b) {
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The largest contrast between a pixel of `area` and `colour`.
double MostDistinct(const QImage& image, const QRect& area, QRgb colour) {
    double best = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            best = std::max(best, Contrast(image.pixel(x, y), colour));
    return best;
}

// The contrast of text drawn inside `area`, row by row against the row's first pixel, which lies
// on the background (areas start left of their text; a gradient changes from row to row). The
// text's own colour shows where a stroke covers a whole pixel.
double TextContrast(const QImage& image, const QRect& area) {
    double best = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        best = std::max(best, MostDistinct(image, QRect(area.left(), y, area.width(), 1),
                                           image.pixel(area.left(), y)));
    return best;
}

// Mean distance (RGB, 0…441) between the pixels of two pictures of one widget.
double MeanDifference(const QImage& a, const QImage& b) {
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum += std::hypot(qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q));
        }
    return sum / (a.width() * a.height());
}

// Where `w` lies in its window.
QRect InWindow(const QWidget* w, const QRect& rect) {
    return rect.translated(w->mapTo(w->window(), QPoint()));
}

class WithWindows : public apptest::WindowTest {
protected:
    void SetUp() override {
        apptest::WindowTest::SetUp();
        ::setenv("TANDREL_DATA_DIR", TANDREL_SOURCE_RESOURCES, 1);
    }
    // The main window with the program's own parts (only the player stays a stand-in: these
    // tests play nothing).
    void CreateReal() {
        app::PartFactories parts;
        parts.player = &app::MakeDefaultPlayerPanel;
        form_ = std::make_unique<TForm1>(app::Services{&dialogs_, &shell_, &power_}, parts);
    }
    template <typename T>
    T* Window() const {
        T* w = form_->findChild<T*>();
        EXPECT_NE(w, nullptr);
        return w;
    }
    QMenu* Menu(const char* toolButton) const {
        auto* b = form_->findChild<QToolButton*>(QLatin1String(toolButton));
        return b ? b->menu() : nullptr;
    }
};

}  // namespace

TEST_F(WithWindows, InfoButtonAndDoubleClickShowTheRowsFacts) {
    CreateReal();
    const QString clip = Q(testmedia::Path("mp4_h264_aac"));
    AddOne(clip);
    ASSERT_EQ(form_->Model()->rowCount(), 1);
    form_->AdvListView1()->selectRow(0);
    TForm9* info = Window<TForm9>();
    ASSERT_NE(info, nullptr);

    std::map<QString, QString> seen;
    auto readAndClose = [&] {
        for (const char* caption : {"文件名：", "文件扩展名：", "视频分辨率：", "视频帧率：",
                                    "音频采样率：", "音频声道：", "视频流信息："})
            seen[U(caption)] = info->Value(U(caption))->text();
        Button(info, "确定")->click();
    };
    {
        Script script({{[info] { return info->isVisible(); }, readAndClose}});
        Button(form_.get(), "信息")->click();
        EXPECT_TRUE(script.Finished());
    }
    EXPECT_EQ(seen[U("文件名：")], QFileInfo(clip).fileName());
    EXPECT_EQ(seen[U("文件扩展名：")], QStringLiteral(".mp4"));
    EXPECT_EQ(seen[U("视频分辨率：")], QStringLiteral("320*240"));  // the fixture's size
    EXPECT_EQ(seen[U("视频帧率：")], QStringLiteral("25.00"));
    EXPECT_EQ(seen[U("音频采样率：")], QStringLiteral("44100"));
    EXPECT_EQ(seen[U("音频声道：")], U("立体声"));
    EXPECT_TRUE(seen[U("视频流信息：")].startsWith(QLatin1String("Video: h264")));
    EXPECT_FALSE(info->isVisible());

    // A double-click on the row opens it as well.
    seen.clear();
    QTableView* list = form_->AdvListView1();
    form_->show();
    ASSERT_TRUE(WaitFor([&] { return form_->isVisible(); }));
    const QPoint at = list->visualRect(form_->Model()->index(0, 1)).center();
    QWidget* viewport = list->viewport();
    Script script({{[info] { return info->isVisible(); }, readAndClose}});
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                              QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
        QMouseEvent e(type, at, viewport->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                      Qt::NoModifier);
        QApplication::sendEvent(viewport, &e);
    }
    EXPECT_TRUE(WaitFor([&] { return script.Finished(); }, std::chrono::seconds(30)));
    EXPECT_EQ(seen[U("文件名：")], QFileInfo(clip).fileName());
}

TEST_F(WithWindows, SkinMenuRestylesTheMainWindowAtOnceAndDialogsAtTheirNextShow) {
    CreateReal();
    form_->show();
    ASSERT_TRUE(WaitFor([&] { return form_->isVisible(); }));
    TForm8* options = form_->Form8();
    TForm7* picker = form_->Form7();
    options->show();  // an earlier showing, with the look of that time
    options->hide();
    const QString optionsBefore = options->styleSheet();
    const QImage mainBefore = Render(form_.get());

    QMenu* skins = Menu("ToolButton7");
    ASSERT_NE(skins, nullptr);
    ASSERT_EQ(skins->actions().size(), 17);
    Item(skins, "Mac苹果皮肤")->trigger();

    const platform::IniFile settings(platform::AppPaths::SettingsFile());
    EXPECT_EQ(settings.ReadString(QStringLiteral("skin"), QStringLiteral("SetSkin")),
              QStringLiteral("skin1"));
    EXPECT_EQ(form_->styleSheet(), SkinSheet("skin1"));
    EXPECT_NE(Render(form_.get()), mainBefore);
    EXPECT_EQ(options->styleSheet(), optionsBefore) << "not before its next showing";

    options->show();
    EXPECT_EQ(options->styleSheet(), SkinSheet("skin1"));
    options->hide();
    picker->show();
    EXPECT_EQ(picker->styleSheet(), SkinSheet("skin1"));
    picker->hide();
    // Every item in turn, each replacing the one before: SkinMenu.SeventeenItems….
}

TEST_F(WithWindows, TheSavedSkinAtStartIncludingOneWithoutAMenuItem) {
    QFile::remove(platform::AppPaths::SettingsFile());
    CreateReal();  // no settings: the designed look
    const QString designed = form_->styleSheet();
    form_.reset();
    testsupport::WriteFile(platform::AppPaths::SettingsFile().toStdString(),
                           "[skin]\nSetSkin=skin17\n");
    CreateReal();
    EXPECT_EQ(form_->styleSheet(), SkinSheet("skin17"));
    form_.reset();
    testsupport::WriteFile(platform::AppPaths::SettingsFile().toStdString(),
                           "[skin]\nSetSkin=other\n");
    CreateReal();
    EXPECT_EQ(form_->styleSheet(), designed);
}

TEST_F(WithWindows, HelpMenuOpensHelpLinksAboutAndUpdate) {
    CreateReal();
    form_->show();
    ASSERT_TRUE(WaitFor([&] { return form_->isVisible(); }));
    QMenu* help = Menu("ToolButton11");
    ASSERT_NE(help, nullptr);

    // F1 while the menu is closed.
    QApplication::setActiveWindow(form_.get());
    ASSERT_TRUE(WaitFor([&] { return form_->isActiveWindow(); }, std::chrono::seconds(10)));
    QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
    QKeyEvent f1Up(QEvent::KeyRelease, Qt::Key_F1, Qt::NoModifier);
    QApplication::sendEvent(form_.get(), &f1);
    QApplication::sendEvent(form_.get(), &f1Up);
    ASSERT_EQ(shell_.paths.size(), 1u);
    EXPECT_EQ(shell_.paths[0], links::HelpFile());
    EXPECT_EQ(shell_.paths[0], Q(std::string(TANDREL_SOURCE_RESOURCES) + "/help/index.html"));

    Item(help, "软件网站")->trigger();
    Item(help, "作者联系信箱")->trigger();
    ASSERT_EQ(shell_.links.size(), 2u);
    EXPECT_EQ(shell_.links[0], QUrl(QStringLiteral("https://tandrel.example/")));
    EXPECT_EQ(shell_.links[1], QUrl(QStringLiteral("mailto:support@tandrel.example")));

    TForm4* about = Window<TForm4>();
    {
        Script script({{[about] { return about->isVisible(); },
                        [about] { Button(about, "确定")->click(); }}});
        Item(help, "关于软件")->trigger();
        EXPECT_TRUE(script.Finished());
    }

    // The update dialog fetches from TANDREL_UPDATE_URL (a file in the test's folder).
    const QUrl served(qEnvironmentVariable("TANDREL_UPDATE_URL"));
    ASSERT_TRUE(served.isLocalFile());
    std::filesystem::create_directories(QFileInfo(served.toLocalFile()).path().toStdString());
    testsupport::WriteFile(served.toLocalFile().toStdString(), "[version]\nnew=1.63\n");
    TForm6* update = Window<TForm6>();
    QString memo;
    {
        Script script({{[update] { return update->isVisible(); },
                        [update, &memo] {
                            update->CheckButton()->click();
                            memo = update->Memo()->toPlainText();
                            Button(update, "返回")->click();
                        }}});
        Item(help, "网上升级...")->trigger();
        EXPECT_TRUE(script.Finished());
    }
    EXPECT_EQ(memo, U("没有检测到新版本,现在使用的为最新版本!"));
}

TEST_F(WithWindows, NoLockNoPasswordWindow) {
    CreateReal();
    TForm5* password = Window<TForm5>();
    int shows = 0;
    struct Counter : QObject {
        int* n;
        explicit Counter(int* count) : n(count) {}
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Show) ++*n;
            return false;
        }
    } counter(&shows);
    password->installEventFilter(&counter);
    form_->show();
    // The check runs right after the first showing; the window stays.
    QTimer::singleShot(0, [] {});
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_TRUE(form_->isVisible());
    EXPECT_EQ(shows, 0);
}

TEST_F(WithWindows, ThePasswordCheckWhenTheWindowIsFirstShown) {
    const std::string lock = testsupport::ScratchDir("lock") + "/lock.ini";
    ::setenv("TANDREL_LOCK_FILE", lock.c_str(), 1);
    testsupport::WriteFile(
        lock, "[Check_PsP]\nps=" +
                  platform::lock::ScrambledHex(QStringLiteral("pw")).toStdString() + "\n");
    // Shows a new main window and types `entry` into its password window. (Quitting and the
    // other ways out of that window: PasswordWindow.*.)
    const auto showAndAnswer = [this](const QString& entry) {
        CreateReal();
        TForm5* password = Window<TForm5>();
        Script script({{[password] { return password->isVisible(); },
                        [password, entry] {
                            password->PasswordEdit()->setText(entry);
                            Button(password, "确定")->click();
                        }}});
        form_->show();
        return WaitFor([&] { return script.Finished(); }, std::chrono::seconds(30));
    };
    // The right password: the program goes on.
    ASSERT_TRUE(showAndAnswer(QStringLiteral("pw")));
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_TRUE(form_->isVisible());
    EXPECT_TRUE(dialogs_.messages.empty());
    form_.reset();

    // A wrong one: the message through the main window's dialogs, then the main window closes.
    ASSERT_TRUE(showAndAnswer(QStringLiteral("wp")));
    ASSERT_TRUE(WaitFor([&] { return !form_->isVisible(); }, std::chrono::seconds(30)));
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_EQ(dialogs_.messages[0].text, U("输入的密码错误,请和本机管理人员联系！"));
}

// Every skin, from the pixels of the options dialog and the main window: a check box shows a box
// unticked and a mark ticked, disabled controls look unlike enabled ones, and captions keep WCAG
// AA contrast (4.5:1) to what they are drawn on.
TEST_F(WithWindows, EverySkinShowsEveryControlAndReadableCaptions) {
    CreateReal();
    form_->show();
    ASSERT_TRUE(WaitFor([&] { return form_->isVisible(); }));
    form_->findChild<QStatusBar*>()->showMessage(U("添加要转换的视频音频文件"));
    TForm8* options = form_->Form8();
    auto* cut = options->findChild<QCheckBox*>(QStringLiteral("suiCheckBox1"));
    ASSERT_NE(cut, nullptr);
    auto named = [](QWidget* window, const char* name) {
        auto* w = window->findChild<QWidget*>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    };
    // Buttons, lists, edits and time boxes, enabled and disabled.
    const std::vector<QWidget*> controls = {
        named(options, "suiButton1"), named(options, "suiComboBox1"),
        named(options, "suiEdit2"),   named(form_.get(), "suiEdit1"),
        form_->AdvListView1(),        named(form_.get(), "suiButton3")};
    // Captions on the main window: the toolbar's (of its enabled buttons: text under the
    // image), the status bar and the settings labels.
    std::vector<std::pair<QWidget*, QRect>> mainCaptions;
    for (const char* name : {"ToolButton1", "ToolButton7", "ToolButton11"}) {
        QWidget* b = named(form_.get(), name);
        const int text = b->fontMetrics().height() + 4;
        mainCaptions.push_back({b, QRect(0, b->height() - text - 2, b->width(), text)});
    }
    for (QWidget* w : form_->findChildren<QWidget*>())
        if (qobject_cast<QStatusBar*>(w) || (qobject_cast<QLabel*>(w) && w->isVisible() &&
                                             !static_cast<QLabel*>(w)->text().isEmpty()))
            mainCaptions.push_back({w, w->rect().adjusted(-2, 0, 0, 0)});

    for (const platform::skins::Skin& skin : platform::skins::All()) {
        SCOPED_TRACE(skin.value);
        const QString value = QLatin1String(skin.value);
        ASSERT_TRUE(platform::skins::SaveSkin(value));
        ASSERT_TRUE(platform::skins::Apply(form_.get(), value));
        options->show();  // takes the saved skin

        QStyleOptionButton option;
        option.initFrom(cut);
        const QRect box =
            InWindow(cut, cut->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, cut));
        std::vector<QImage> boxes;
        QImage dialog;
        for (bool ticked : {false, true}) {
            cut->setChecked(ticked);
            dialog = Render(options);
            const QRgb around = dialog.pixel(box.left() - 2, box.center().y());
            // WCAG's 3:1 for the parts of a control.
            EXPECT_GE(MostDistinct(dialog, box, around), 3.0) << "a box, ticked: " << ticked;
            boxes.push_back(dialog.copy(box));
        }
        EXPECT_GE(MeanDifference(boxes[0], boxes[1]), 20.0) << "ticked looks unticked";
        EXPECT_GE(
            MostDistinct(boxes[1], boxes[1].rect().adjusted(2, 2, -2, -2), boxes[1].pixel(2, 2)),
            3.0)
            << "no mark in the ticked box";
        cut->setChecked(false);

        for (QWidget* w : controls) {
            const bool was = w->isEnabled();
            w->setEnabled(true);
            const QImage enabled = Render(w);
            w->setEnabled(false);
            const QImage disabled = Render(w);
            w->setEnabled(was);
            EXPECT_GE(MeanDifference(enabled, disabled), 15.0) << w->objectName();
        }

        dialog = Render(options);
        auto expectReadable = [](const QImage& image, QWidget* w, const QRect& area) {
            EXPECT_GE(TextContrast(image, InWindow(w, area)), 4.5)
                << w->objectName() << " " << w->property("text").toString()
                << w->property("title").toString();
        };
        for (QLabel* label : options->findChildren<QLabel*>())
            if (label->isVisible() && label->isEnabled())
                expectReadable(dialog, label, label->rect().adjusted(-2, 0, 0, 0));
        for (QPushButton* b : options->findChildren<QPushButton*>())
            expectReadable(dialog, b, b->rect().adjusted(3, 3, -3, -3));
        for (QGroupBox* g : options->findChildren<QGroupBox*>()) {
            QStyleOptionGroupBox frame;
            frame.initFrom(g);
            frame.text = g->title();
            frame.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
            expectReadable(dialog, g,
                           g->style()->subControlRect(QStyle::CC_GroupBox, &frame,
                                                      QStyle::SC_GroupBoxLabel, g));
        }
        QStyleOptionButton text;
        text.initFrom(cut);
        expectReadable(dialog, cut,
                       cut->style()->subElementRect(QStyle::SE_CheckBoxContents, &text, cut));
        options->hide();

        const QImage window = Render(form_.get());
        for (const auto& [w, area] : mainCaptions) expectReadable(window, w, area);
    }
}
