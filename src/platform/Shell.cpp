#include "platform/Shell.h"

#include <QDesktopServices>
#include <QFile>

namespace platform {

bool QtShell::OpenPath(const QString& path) {
    if (path.isEmpty()) return false;
    return Open(QUrl::fromLocalFile(path));
}

bool QtShell::OpenLink(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return false;
    return Open(url);
}

bool QtShell::Open(const QUrl& url) {
    const QString record = qEnvironmentVariable("TANDREL_RECORD_PLATFORM");
    if (!record.isEmpty()) {
        QFile file(record);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return false;
        const QByteArray line = "open " + url.toEncoded() + '\n';
        return file.write(line) == line.size();
    }
    return QDesktopServices::openUrl(url);
}

}  // namespace platform
