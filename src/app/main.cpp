// tandrel: the desktop program. Files named on the command line are added to the job list once
// the window is shown, as a file manager's "Open with" passes them.
#include <QApplication>
#include <QFileInfo>

#include "app/MainWindow.h"
#include "engine/MainThread.h"
#include "platform/Dialogs.h"
#include "platform/Shell.h"
#include "platform/SystemPower.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tandrel"));
    // The help file of the program: help/index.html in its data folder (see AppPaths).
    application.setProperty("helpFile", QStringLiteral("help/index.html"));
    app::ConnectDispatcherToEventLoop();
    app::InstallFontSubstitutes();

    int status = 0;
    {
        platform::QtDialogs dialogs;
        platform::QtShell shell;
        platform::QtSystemPower power;
        TForm1 form(app::Services{&dialogs, &shell, &power});

        QStringList files;
        for (const QString& argument : QApplication::arguments().mid(1))
            files << QFileInfo(argument).absoluteFilePath();
        form.AddFilesOnShow(files);
        form.show();
        status = QApplication::exec();
    }
    // The window and its engine are gone; nothing may wake the application object any more.
    mainthread::SetWakeup(nullptr);
    return status;
}
