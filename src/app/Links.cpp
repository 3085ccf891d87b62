#include "app/Links.h"

#include <QUrl>

#include "platform/AppPaths.h"
#include "platform/Shell.h"

namespace links {

const char kWebSite[] = "https://tandrel.example/";
const char kMailAddress[] = "support@tandrel.example";
const char kDesktopSite[] = "https://desktop.tandrel.example/";

QString HelpFile() { return platform::AppPaths::DataFile(QStringLiteral("help/index.html")); }

bool OpenHelp(platform::IShell& shell) { return shell.OpenPath(HelpFile()); }

bool OpenWebSite(platform::IShell& shell) { return shell.OpenLink(QUrl(QLatin1String(kWebSite))); }

bool OpenMail(platform::IShell& shell) {
    return shell.OpenLink(QUrl(QStringLiteral("mailto:") + QLatin1String(kMailAddress)));
}

bool OpenDesktopSite(platform::IShell& shell) {
    return shell.OpenLink(QUrl(QLatin1String(kDesktopSite)));
}

}  // namespace links
