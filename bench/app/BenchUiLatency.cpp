// The main window's event-loop latency while it converts two rows at once: a 10 ms timer on the
// UI thread measures how late each of its turns comes, for 10 s of the batch (or until the batch
// ends). Everything is the program's own — window, picker, options dialog, engine, progress and
// log handling — on offscreen Qt with scripted open dialogs. Prints p50, p99 and max lateness
// and the CPU time the UI thread itself used meanwhile:
//   build/bench/bench_ui_latency [clip-seconds] [measure-seconds]
#include <time.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "FakePlatform.h"
#include "app/JobListModel.h"
#include "app/MainWindow.h"
#include "formats/OptionsDialog.h"
#include "formats/PickerDialog.h"

namespace {

QPushButton* ButtonIn(QWidget* w, const char* text) {
    for (QPushButton* b : w->findChildren<QPushButton*>())
        if (b->text() == QString::fromUtf8(text)) return b;
    return nullptr;
}

// CPU time the calling thread has used, in milliseconds.
double ThreadCpuMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[static_cast<size_t>(p * static_cast<double>(v.size() - 1))];
}

}  // namespace

int main(int argc, char** argv) {
    const int clipSeconds = argc > 1 ? std::atoi(argv[1]) : 90;
    const int measureSeconds = argc > 2 ? std::atoi(argv[2]) : 10;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir work;
    qputenv("HOME", work.path().toUtf8());
    qputenv("TANDREL_CONFIG_DIR", (work.path() + "/config").toUtf8());
    QApplication application(argc, argv);
    app::ConnectDispatcherToEventLoop();

    QStringList sources;
    for (const char* name : {"one.avi", "two.avi"}) {
        const std::string out = work.path().toStdString() + "/" + name;
        const std::string make =
            "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=640x360:rate=25:duration=" +
            std::to_string(clipSeconds) + " -f lavfi -i sine=duration=" +
            std::to_string(clipSeconds) + " -c:v mpeg4 -q:v 4 -c:a libmp3lame '" + out + "'";
        if (std::system(make.c_str()) != 0) return 1;
        sources << QString::fromStdString(out);
    }

    platform::FakeDialogs dialogs;
    platform::FakeShell shell;
    platform::FakeSystemPower power;
    TForm1 form(app::Services{&dialogs, &shell, &power});
    form.show();

    // The picker on "通用AVI视频格式", then the options dialog's "确定".
    QTimer script;
    QObject::connect(&script, &QTimer::timeout, [&] {
        if (form.Form8()->isVisible()) {
            ButtonIn(form.Form8(), "确定")->click();
        } else if (form.Form7()->isVisible()) {
            form.Form7()->Pages()->setCurrentIndex(0);
            form.Form7()->List(0)->setCurrentRow(13);
            ButtonIn(form.Form7(), "下一步")->click();
        }
    });
    script.start(20);
    dialogs.openAnswers.push_back(sources);
    form.N2Click();
    script.stop();
    if (form.Model()->Count() != 2) {
        std::fprintf(stderr, "the files were not added\n");
        return 1;
    }

    std::vector<double> lateMs;
    int progressEvents = 0;
    QObject::connect(form.Model(), &QAbstractItemModel::dataChanged,
                     [&](const QModelIndex& from) { progressEvents += from.column() == 4; });
    bool ended = false;
    QObject::connect(&form, &TForm1::terminationHandled, [&](int task) { ended |= task < 0; });

    QElapsedTimer clock, sinceLast;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(10);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (sinceLast.isValid())
            lateMs.push_back(std::max(0.0, sinceLast.nsecsElapsed() / 1e6 - 10.0));
        sinceLast.restart();
        if (clock.elapsed() >= measureSeconds * 1000 || ended) QApplication::quit();
    });

    form.findChild<QComboBox*>("suiComboBox3")->setCurrentIndex(1);  // "2个文件"
    form.findChild<QComboBox*>("suiComboBox1")->setCurrentIndex(0);  // nothing afterwards
    form.btnStartClick();
    clock.start();
    const double cpuBefore = ThreadCpuMs();
    tick.start();
    QApplication::exec();
    const double seconds = clock.elapsed() / 1000.0;
    const double uiCpuMs = ThreadCpuMs() - cpuBefore;
    form.close();  // stops and waits for the conversions

    std::printf("UI event loop while two rows convert (%d s 640x360 clips -> AVI profile)\n",
                clipSeconds);
    std::printf("  measured %.1f s%s, %zu timer turns, %d progress updates\n", seconds,
                ended ? " (the batch ended first)" : "", lateMs.size(), progressEvents);
    std::printf("  10 ms timer lateness: p50 %.2f ms, p99 %.2f ms, max %.2f ms\n",
                Percentile(lateMs, 0.5), Percentile(lateMs, 0.99), Percentile(lateMs, 1.0));
    // What the window itself spent: lateness beyond this share is the scheduler's.
    std::printf("  UI thread CPU while measuring: %.0f ms (%.1f %% of one core)\n", uiCpuMs,
                uiCpuMs / (seconds * 10.0));
    return 0;
}
