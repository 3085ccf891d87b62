// tandrel-screenshots HELP_IMAGES_DIR DOCS_DIR: pictures of the program's real windows for the
// help pages and the README, taken from the program's own windows with sample clips. Run it
// under a display (scripts/screenshots.sh uses Xvfb); it never opens anything on the desktop
// (fake dialogs and shell) and works in a private temporary folder.
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolButton>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "AppTestSupport.h"
#include "TestMedia.h"
#include "app/AboutDialog.h"
#include "app/PasswordDialog.h"
#include "app/UpdateDialog.h"
#include "formats/OptionsDialog.h"
#include "formats/PickerDialog.h"
#include "probe/InfoDialog.h"

using apptest::Script;
using apptest::U;

namespace {

QString helpDir, docsDir;
int failures = 0;

void Settle(int rounds = 30) {
    for (int i = 0; i < rounds; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

void Save(QWidget* w, const QString& file) {
    Settle();
    if (!w->grab().save(file)) {
        std::fprintf(stderr, "cannot write %s\n", file.toUtf8().constData());
        ++failures;
    } else {
        std::printf("%s\n", file.toUtf8().constData());
    }
}

QPushButton* Button(QWidget* w, const char* text) {
    for (QPushButton* b : w->findChildren<QPushButton*>())
        if (b->text() == U(text)) return b;
    std::fprintf(stderr, "no button %s\n", text);
    ++failures;
    return nullptr;
}

QAction* Item(QMenu* menu, const char* caption) {
    for (QAction* a : menu->actions())
        if (a->text() == U(caption)) return a;
    std::fprintf(stderr, "no menu item %s\n", caption);
    ++failures;
    return nullptr;
}

// Runs `start`, which opens `window` modally; `act` runs once it is up and must close it.
void WhileShown(QWidget* window, const std::function<void()>& start,
                const std::function<void()>& act) {
    Script script({{[window] { return window->isVisible(); }, act}});
    start();
    if (!script.Finished()) {
        std::fprintf(stderr, "a window did not show\n");
        ++failures;
    }
}

QString Sample(const QString& dir, const std::string& id, const char* name) {
    const QString path = dir + QLatin1Char('/') + U(name);
    QFile::remove(path);
    QFile::copy(QString::fromStdString(testmedia::Path(id)), path);
    return path;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "Usage: tandrel-screenshots HELP_IMAGES_DIR DOCS_DIR\n");
        return 2;
    }
    helpDir = QString::fromLocal8Bit(argv[1]);
    docsDir = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(helpDir);
    QDir().mkpath(docsDir);

    QTemporaryDir temp(QDir::tempPath() + QStringLiteral("/demo-XXXXXX"));
    const QString base = temp.path();
    for (const char* sub : {"/home", "/config", "/server", U("/home/视频").toUtf8().constData()})
        QDir().mkpath(base + QString::fromUtf8(sub));
    ::setenv("HOME", (base + "/home").toUtf8().constData(), 1);
    ::setenv("TANDREL_CONFIG_DIR", (base + "/config").toUtf8().constData(), 1);
    ::setenv("TANDREL_LOCK_FILE", (base + "/lock.ini").toUtf8().constData(), 1);
    ::setenv("TANDREL_UPDATE_URL", ("file://" + base + "/server/update.ini").toUtf8().constData(),
             1);
    ::setenv("TANDREL_DATA_DIR", TANDREL_SOURCE_RESOURCES, 1);
    apptest::EnsureApp();

    const QString videos = base + U("/home/视频");
    const QStringList files = {Sample(videos, "clip2s_640", "海边旅行.mp4"),
                               Sample(videos, "avi_mpeg4_mp3", "生日聚会.avi"),
                               Sample(videos, "audio_mp3", "晨曦.mp3")};

    platform::FakeDialogs dialogs;
    platform::FakeShell shell;
    platform::FakeSystemPower power;
    TForm1 form(app::Services{&dialogs, &shell, &power});
    form.show();
    Settle();

    // Adding the files: the picker and the options dialog of the first one are pictured.
    for (int i = 0; i < files.size(); ++i) {
        dialogs.openAnswers.push_back({files[i]});
        TForm7* picker = form.Form7();
        TForm8* options = form.Form8();
        const bool first = i == 0;
        const int tab = i == 2 ? 0 : 1;
        Script script({{[picker] { return picker->isVisible(); },
                        [=] {
                            picker->Pages()->setCurrentIndex(tab);
                            picker->List(tab)->setCurrentRow(i == 2 ? 10 : 0);
                            if (first) Save(picker, helpDir + "/picker.png");
                            Button(picker, "下一步")->click();
                        }},
                       {[options] { return options->isVisible(); },
                        [=] {
                            if (first) Save(options, helpDir + "/options.png");
                            Button(options, "确定")->click();
                        }}});
        form.MenuItem15Click();
        if (!script.Finished()) ++failures;
    }
    form.AdvListView1()->selectRow(0);
    Settle(100);
    Save(&form, helpDir + "/main.png");

    // The information window of the first row.
    auto* info = form.findChild<TForm9*>();
    WhileShown(
        info, [&] { Button(&form, "信息")->click(); },
        [&] {
            Save(info, helpDir + "/info.png");
            Button(info, "确定")->click();
        });

    // The two drop-down menus.
    for (const auto& [button, file] :
         {std::pair{"ToolButton7", "skinmenu.png"}, std::pair{"ToolButton11", "helpmenu.png"}}) {
        QMenu* menu = form.findChild<QToolButton*>(QLatin1String(button))->menu();
        menu->popup(form.mapToGlobal(QPoint(400, 120)));
        Save(menu, helpDir + "/" + file);
        menu->hide();
    }
    QMenu* help = form.findChild<QToolButton*>(QStringLiteral("ToolButton11"))->menu();
    QMenu* skins = form.findChild<QToolButton*>(QStringLiteral("ToolButton7"))->menu();

    auto* about = form.findChild<TForm4*>();
    WhileShown(
        about, [&] { Item(help, "关于软件")->trigger(); },
        [&] {
            Save(about, helpDir + "/about.png");
            Button(about, "确定")->click();
        });

    QFile server(base + "/server/update.ini");
    server.open(QIODevice::WriteOnly);
    server.write(
        "[version]\nnew=1.8\ndate=2024-06-01\n"
        "links1=https://www.tandrel.example/download/tandrel-1.8.tar.gz\n"
        "size=18.6 MB\n");
    server.close();
    auto* update = form.findChild<TForm6*>();
    WhileShown(
        update, [&] { Item(help, "网上升级...")->trigger(); },
        [&] {
            update->CheckButton()->click();
            Save(update, helpDir + "/update.png");
            Button(update, "返回")->click();
        });

    auto* password = form.findChild<TForm5*>();
    password->show();
    Save(password, helpDir + "/password.png");
    password->hide();

    // Three skins of the main window, for the README.
    for (const auto& [caption, file] :
         {std::pair{"Mac苹果皮肤", "skin-mac.png"}, std::pair{"深蓝色皮肤", "skin-deepblue.png"},
          std::pair{"运动黑色皮肤", "skin-sportsblack.png"}}) {
        Item(skins, caption)->trigger();
        Save(&form, docsDir + "/" + file);
        if (std::string(file) == "skin-deepblue.png") Save(&form, helpDir + "/skin-deepblue.png");
    }
    form.close();
    return failures == 0 ? 0 : 1;
}
