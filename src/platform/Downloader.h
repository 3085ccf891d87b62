// Fetching a small file from a URL into a local file (the update check's version file).
// UI thread: the call waits for the transfer with a local event loop, so windows keep painting;
// the caller disables whatever must not be pressed meanwhile.
#pragma once

#include <QString>
#include <QUrl>

namespace platform {

class IDownloader {
public:
    virtual ~IDownloader() = default;
    // Fetches `url` into `localFile`. The file is replaced only when the whole body arrived (an
    // older copy survives a failure); its folder is created when missing. False, with the
    // reason in `error` when given, for no connection, a server error, a time-out, a body over
    // the size limit or a file that cannot be written.
    virtual bool Download(const QUrl& url, const QString& localFile, QString* error = nullptr) = 0;
};

// QNetworkAccessManager: http, https and file URLs; redirects are followed unless they lead
// from https to http. The whole transfer must end within `timeoutMs`.
class QtDownloader final : public IDownloader {
public:
    static constexpr int kDefaultTimeoutMs = 30000;
    static constexpr qint64 kDefaultMaxBytes = 1 << 20;

    explicit QtDownloader(int timeoutMs = kDefaultTimeoutMs, qint64 maxBytes = kDefaultMaxBytes)
        : timeoutMs_(timeoutMs), maxBytes_(maxBytes) {}

    bool Download(const QUrl& url, const QString& localFile, QString* error = nullptr) override;

private:
    int timeoutMs_;
    qint64 maxBytes_;
};

// The version file's address: TANDREL_UPDATE_URL when set, else the built-in default.
QUrl UpdateUrl();
// The built-in default of UpdateUrl.
extern const char kDefaultUpdateUrl[];

}  // namespace platform
