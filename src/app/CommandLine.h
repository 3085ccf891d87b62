// The command line of the desktop program `tandrel`, read before anything needs a display: its
// own options, Qt's window-system options (left for the application object), and the files to
// add. No widgets, no process exit: the caller prints and returns.
#pragma once

#include <QString>
#include <QStringList>

namespace app {

struct CommandLine {
    enum class Action {
        Run,       // open the window, then add `files`
        SelfTest,  // "--self-test": start, report what a start needs, quit
        Help,      // "-h", "--help": print `text` (the usage) on standard output, exit 0
        Version,   // "--version": print the version, exit 0
        Error,     // an unknown option or a missing value: print `text` on standard error, exit 2
    };
    Action action = Action::Run;
    QStringList files;  // the paths named, as given ("--" ends the options)
    QString text;       // the usage; for an error, the reason, a blank line and the usage
};

// `arguments` without the program's own name.
CommandLine ParseCommandLine(const QStringList& arguments);

}  // namespace app
