// Opening files, folders and links with the desktop's associated application. Never through a
// shell command line. UI thread.
#pragma once

#include <QString>
#include <QUrl>

namespace platform {

// An http or https link with a host: what the shell opens in the browser.
bool IsWebLink(const QUrl& url);

class IShell {
public:
    virtual ~IShell() = default;
    // Opens a local file or folder; false when the desktop refused (or the path is empty).
    virtual bool OpenPath(const QString& path) = 0;
    // Opens a web link in the browser or a "mailto:" address in the mail program; http and
    // https links with a host and plain mail addresses (no query) only, anything else returns
    // false.
    virtual bool OpenLink(const QUrl& url) = 0;
};

// QDesktopServices::openUrl. When TANDREL_RECORD_PLATFORM names a file, each request is appended
// to it as one line "open <url>" (the URL in encoded form) instead of being carried out, so that
// black-box tests can see what would have been opened.
class QtShell final : public IShell {
public:
    bool OpenPath(const QString& path) override;
    bool OpenLink(const QUrl& url) override;

private:
    bool Open(const QUrl& url);
};

}  // namespace platform
