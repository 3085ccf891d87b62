// tandrel: the desktop program. Files named on the command line are added to the job list once
// the window is shown, as a file manager's "Open with" passes them. "--help" prints the usage,
// "--version" the version (neither needs a display); an unknown option is an error (status 2).
// "--self-test" starts the program as usual, reports what a start needs (the window, the saved
// skin, the data files, the media libraries) and quits.
#include <QApplication>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>
#include <unistd.h>
#include <utility>

#include "app/CommandLine.h"
#include "app/MainWindow.h"
#include "engine/MainThread.h"
#include "engine/MediaLibraries.h"
#include "engine/ProcessSignals.h"
#include "platform/AppPaths.h"
#include "platform/Dialogs.h"
#include "platform/Notifier.h"
#include "platform/Shell.h"
#include "platform/Skins.h"
#include "platform/SystemPower.h"
#include "platform/Translations.h"

namespace {

// One line of the self-test; false when the item is missing.
bool Report(const char* item, const QString& value, bool ok) {
    std::printf("%-10s %s%s\n", item, value.toLocal8Bit().constData(), ok ? "" : "  (missing)");
    return ok;
}

// The self-test's findings once the window has been shown; true when everything was there.
bool SelfTest(const QWidget& window) {
    namespace paths = platform::AppPaths;
    namespace skins = platform::skins;
    bool ok = Report("window", window.windowTitle(), window.isVisible());
    // A saved skin must have reached the window; without one the window keeps its own look.
    const QString saved = skins::SavedSkin();
    if (const skins::Skin* skin = skins::Find(saved)) {
        const QString sheet = skins::StyleSheet(*skin);
        ok &= Report("skin",
                     saved + QLatin1Char(' ') +
                         (skin->theme ? paths::DataFile(QLatin1String(skin->theme))
                                      : QStringLiteral("(built in)")),
                     !sheet.isEmpty() && window.styleSheet() == sheet);
    } else {
        Report("skin", QStringLiteral("(none saved)"), true);
    }
    ok &= Report("data", paths::DataDir(), QFileInfo(paths::DataDir()).isDir());
    for (const auto& [item, file] :
         {std::pair{"help", "help/index.html"}, std::pair{"sounds", "sounds/cam.wav"}}) {
        const QString path = paths::DataFile(QLatin1String(file));
        ok &= Report(item, path, QFileInfo(path).isFile());
    }
    std::string error;
    const bool bound = LoadMediaLibraries(kPlayerSet, DefaultLibraryPath(), &error);
    ok &=
        Report("libraries", bound ? QStringLiteral("bound") : QString::fromStdString(error), bound);
    std::fflush(stdout);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    // Before the application object, which needs a display.
    QStringList rawArguments;
    for (int i = 1; i < argc; ++i) rawArguments << QString::fromLocal8Bit(argv[i]);
    const app::CommandLine line = app::ParseCommandLine(rawArguments);
    switch (line.action) {
        case app::CommandLine::Action::Help:
            std::fputs(line.text.toLocal8Bit().constData(), stdout);
            return 0;
        case app::CommandLine::Action::Version:
            std::printf("tandrel %s\n", TANDREL_VERSION);
            return 0;
        case app::CommandLine::Action::Error:
            std::fputs(line.text.toLocal8Bit().constData(), stderr);
            return 2;
        default:
            break;
    }
    // A write past the file-size limit fails with "File too large" instead of killing us.
    procsignals::IgnoreFileSizeLimit();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tandrel"));
    QApplication::setApplicationVersion(QStringLiteral(TANDREL_VERSION));
    const bool selfTest = line.action == app::CommandLine::Action::SelfTest;
    // The help file of the program: help/index.html in its data folder (see AppPaths).
    application.setProperty("helpFile", QStringLiteral("help/index.html"));
    app::ConnectDispatcherToEventLoop();
    app::InstallFontSubstitutes();
    platform::InstallQtTranslations();

    // Caught from here on; acted on once the window's event loop runs.
    const int signalled = procsignals::CatchTermination();
    int status = 0;
    {
        platform::QtDialogs dialogs;
        platform::QtShell shell;
        platform::QtSystemPower power;
        platform::QtNotifier notifier;
        TForm1 form(app::Services{&dialogs, &shell, &power, &notifier});

        QStringList files;
        if (!selfTest)
            for (const QString& file : line.files) files << QFileInfo(file).absoluteFilePath();
        form.AddFilesOnShow(files);
        // SIGINT, SIGTERM and SIGHUP (Ctrl-C in the terminal, the session or the system ending)
        // end the program as closing the window does: conversions stop and keep what they
        // wrote, the after-batch action does not run; open dialogs and waits give way.
        QSocketNotifier ending(signalled, QSocketNotifier::Read);
        QObject::connect(&ending, &QSocketNotifier::activated, &form, [&form, &ending] {
            char caught[16];
            [[maybe_unused]] const ssize_t n = ::read(static_cast<int>(ending.socket()), caught,
                                                      sizeof caught);
            form.close();
            QTimer::singleShot(0, [] {
                QApplication::closeAllWindows();
                QApplication::exit(0);
            });
        });
        form.show();
        if (selfTest) {
            // Queued behind the window's own start (posted by its show event).
            QTimer::singleShot(0, &form, [&form] {
                const bool ok = SelfTest(form);
                form.close();
                QApplication::exit(ok ? 0 : 1);
            });
        }
        status = QApplication::exec();
    }
    // The window and its engine are gone; nothing may wake the application object any more.
    mainthread::SetWakeup(nullptr);
    return status;
}
