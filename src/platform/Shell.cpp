#include "platform/Shell.h"

#include <QDesktopServices>

#include "platform/RecordMode.h"

namespace platform {

bool IsWebLink(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() &&
           (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

bool QtShell::OpenPath(const QString& path) {
    if (path.isEmpty()) return false;
    return Open(QUrl::fromLocalFile(path));
}

bool QtShell::OpenLink(const QUrl& url) {
    if (url.isValid() && url.scheme().toLower() == QLatin1String("mailto")) {
        // A mail address only: no extra headers or body smuggled in through the query.
        if (url.path().isEmpty() || url.hasQuery() || url.hasFragment()) return false;
        return Open(url);
    }
    return IsWebLink(url) && Open(url);
}

bool QtShell::Open(const QUrl& url) {
    bool written = false;
    if (RecordPlatformRequest("open " + url.toEncoded(), &written)) return written;
    return QDesktopServices::openUrl(url);
}

}  // namespace platform
