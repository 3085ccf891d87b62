#include "platform/Downloader.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QTimer>

namespace platform {

const char kDefaultUpdateUrl[] = "https://update.tandrel.example/version/update.ini";

namespace {

bool Fail(QString* error, const QString& reason) {
    if (error) *error = reason;
    return false;
}

}  // namespace

bool QtDownloader::Download(const QUrl& url, const QString& localFile, QString* error) {
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https") &&
                           scheme != QLatin1String("file")))
        return Fail(error, QStringLiteral("unsupported address: ") + url.toString());

    QNetworkAccessManager manager;
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply* reply = manager.get(request);

    QByteArray body;
    bool tooLarge = false;
    bool timedOut = false;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, reply, [&] {
        timedOut = true;
        reply->abort();
    });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [&] {
        body += reply->readAll();
        if (body.size() > maxBytes_ && !tooLarge) {
            tooLarge = true;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    timer.start(timeoutMs_);
    if (!reply->isFinished()) loop.exec();
    timer.stop();
    if (!tooLarge && reply->isOpen()) body += reply->readAll();
    const QNetworkReply::NetworkError code = reply->error();
    const QString reason = reply->errorString();

    if (timedOut) return Fail(error, QStringLiteral("timed out"));
    if (tooLarge || body.size() > maxBytes_) return Fail(error, QStringLiteral("file too large"));
    if (code != QNetworkReply::NoError) return Fail(error, reason);

    if (!QDir().mkpath(QFileInfo(localFile).absolutePath()))
        return Fail(error, QStringLiteral("cannot create the folder of ") + localFile);
    QSaveFile file(localFile);
    if (!file.open(QIODevice::WriteOnly) || file.write(body) != body.size() || !file.commit())
        return Fail(error, QStringLiteral("cannot write ") + localFile);
    return true;
}

QUrl UpdateUrl() {
    const QString forced = qEnvironmentVariable("TANDREL_UPDATE_URL");
    return QUrl(forced.isEmpty() ? QString::fromLatin1(kDefaultUpdateUrl) : forced);
}

}  // namespace platform
