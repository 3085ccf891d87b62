// tandrel-screenshot OUT.png: the main window after three files were added and one converted,
// with the second converting, drawn by the platform in use (run it under Xvfb for the README's
// picture: scripts/screenshot.sh). The open dialogs are scripted; everything else is the
// program's own, on clips made here by the ffmpeg program.
#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "FakePlatform.h"
#include "TestMedia.h"
#include "app/JobListModel.h"
#include "app/MainWindow.h"
#include "formats/OptionsDialog.h"
#include "formats/PickerDialog.h"
#include "platform/Shell.h"
#include "platform/SystemPower.h"
#include "platform/Translations.h"

namespace {

QPushButton* ButtonIn(QWidget* w, const char* text) {
    for (QPushButton* b : w->findChildren<QPushButton*>())
        if (b->text() == QString::fromUtf8(text)) return b;
    return nullptr;
}

// Confirms the picker (on "通用AVI视频格式") and then the options dialog, when they show.
void ScriptTheDialogs(TForm1* form) {
    auto* timer = new QTimer(form);
    QObject::connect(timer, &QTimer::timeout, form, [form] {
        TForm7* picker = form->Form7();
        TForm8* options = form->Form8();
        if (options->isVisible()) {
            ButtonIn(options, "确定")->click();
        } else if (picker->isVisible()) {
            picker->Pages()->setCurrentIndex(0);
            picker->List(0)->setCurrentRow(13);
            ButtonIn(picker, "下一步")->click();
        }
    });
    timer->start(20);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tandrel-screenshot OUT.png\n");
        return 2;
    }
    QTemporaryDir work;
    qputenv("HOME", work.path().toUtf8());
    qputenv("TANDREL_CONFIG_DIR", (work.path() + "/config").toUtf8());
    QApplication application(argc, argv);
    app::ConnectDispatcherToEventLoop();
    app::InstallFontSubstitutes();
    platform::InstallQtTranslations();

    const std::string dir = work.path().toStdString();
    QStringList clips;
    for (const char* name : {"旅行 2023.avi", "interview.avi", "concert.avi"}) {
        const std::string out = dir + "/" + name;
        std::string error;
        if (!testmedia::RunFfmpeg("-nostdin -v error -y -f lavfi -i "
                                  "testsrc2=size=640x360:rate=25:duration=12 -f lavfi -i "
                                  "sine=duration=12 -c:v mpeg4 -q:v 4 -c:a libmp3lame " +
                                      testmedia::Quote(out),
                                  &error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        clips << QString::fromStdString(out);
    }

    platform::FakeDialogs dialogs;
    platform::FakeShell shell;
    platform::FakeSystemPower power;
    TForm1 form(app::Services{&dialogs, &shell, &power});
    form.show();
    ScriptTheDialogs(&form);
    form.FFmpegVCL1().SetProgressInterval(100);

    int status = 1;
    bool taken = false;
    QObject::connect(form.Model(), &QAbstractItemModel::dataChanged, &form, [&] {
        app::JobListModel* m = form.Model();
        if (taken || m->Count() < 3) return;
        if (m->Row(0).Status != app::status::Done() || m->Row(1).Progress < 35) return;
        taken = true;
        status = form.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
        if (status != 0) std::fprintf(stderr, "cannot write %s\n", argv[1]);
        QTimer::singleShot(0, &form, [&form] { form.close(); });
    });
    QTimer::singleShot(200, &form, [&] {
        dialogs.openAnswers.push_back({clips[2], clips[1], clips[0]});
        form.N2Click();
        form.AdvListView1()->selectRow(0);
        form.btnStartClick();
    });
    QApplication::exec();
    return status;
}
