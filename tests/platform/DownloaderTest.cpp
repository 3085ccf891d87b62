// The URL download behind the update check: file URLs, a local HTTP server on the loopback
// interface (never the network), failures that keep an older copy, the time-out and the size
// limit.
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>
#include <cstdlib>
#include <memory>

#include <gtest/gtest.h>

#include "PlatformTestApp.h"
#include "TestSupport.h"
#include "platform/Downloader.h"

using platform::QtDownloader;
using platformtest::EnsureApp;

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// A one-request HTTP server on 127.0.0.1 that answers every request with `response` (or never
// answers when it is empty).
class LocalServer {
public:
    explicit LocalServer(QByteArray response) : response_(std::move(response)) {
        EXPECT_TRUE(server_.listen(QHostAddress::LocalHost));
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    request_ += socket->readAll();
                    if (!request_.contains("\r\n\r\n") || response_.isEmpty()) return;
                    socket->write(response_);
                    socket->disconnectFromHost();
                });
            }
        });
    }
    QUrl Url(const char* path) const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path));
    }
    const QByteArray& Request() const { return request_; }

private:
    QTcpServer server_;
    QByteArray response_;
    QByteArray request_;
};

QByteArray HttpResponse(const char* status, const QByteArray& body) {
    return QByteArray("HTTP/1.1 ") + status +
           "\r\nContent-Type: text/plain\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

}  // namespace

TEST(Downloader, FileUrlIsCopiedIntoANewFolder) {
    EnsureApp();
    const std::string dir = testsupport::ScratchDir("dl-file");
    testsupport::WriteFile(dir + "/version.ini", "[version]\nnew=1.5\n");
    const std::string target = dir + "/config/sub/update.ini";
    QtDownloader downloader;
    QString error;
    EXPECT_TRUE(
        downloader.Download(QUrl::fromLocalFile(Q(dir + "/version.ini")), Q(target), &error))
        << error.toStdString();
    EXPECT_EQ(testsupport::ReadFile(target), "[version]\nnew=1.5\n");
}

TEST(Downloader, FailuresKeepTheOlderCopy) {
    EnsureApp();
    const std::string dir = testsupport::ScratchDir("dl-fail");
    const std::string target = dir + "/update.ini";
    testsupport::WriteFile(target, "old");
    QtDownloader downloader;
    QString error;
    EXPECT_FALSE(
        downloader.Download(QUrl::fromLocalFile(Q(dir + "/missing.ini")), Q(target), &error));
    EXPECT_FALSE(error.isEmpty());
    // Only web and file addresses are fetched.
    EXPECT_FALSE(downloader.Download(QUrl(QStringLiteral("ftp://127.0.0.1/x")), Q(target)));
    EXPECT_FALSE(downloader.Download(QUrl(QStringLiteral("javascript:alert(1)")), Q(target)));
    EXPECT_FALSE(downloader.Download(QUrl(), Q(target)));

    LocalServer server(HttpResponse("404 Not Found", "no such file"));
    EXPECT_FALSE(downloader.Download(server.Url("/update.ini"), Q(target), &error));
    EXPECT_TRUE(server.Request().startsWith("GET /update.ini HTTP/1.1\r\n"));
    EXPECT_EQ(testsupport::ReadFile(target), "old");

    // A target that cannot be written.
    testsupport::WriteFile(dir + "/source.ini", "[version]\nnew=2\n");
    EXPECT_FALSE(downloader.Download(QUrl::fromLocalFile(Q(dir + "/source.ini")),
                                     Q(dir + "/source.ini/update.ini"), &error));
}

TEST(Downloader, HttpBodyIsSaved) {
    EnsureApp();
    const std::string target = testsupport::ScratchDir("dl-http") + "/update.ini";
    const QByteArray body = "[version]\nnew=1.63\ndate=2024-01-01\n";
    LocalServer server(HttpResponse("200 OK", body));
    QtDownloader downloader;
    QString error;
    ASSERT_TRUE(downloader.Download(server.Url("/v/update.ini"), Q(target), &error))
        << error.toStdString();
    EXPECT_EQ(testsupport::ReadFile(target), body.toStdString());
}

TEST(Downloader, ASilentServerTimesOut) {
    EnsureApp();
    const std::string target = testsupport::ScratchDir("dl-timeout") + "/update.ini";
    LocalServer server{QByteArray()};
    QtDownloader downloader(300);
    QElapsedTimer clock;
    clock.start();
    QString error;
    EXPECT_FALSE(downloader.Download(server.Url("/update.ini"), Q(target), &error));
    EXPECT_EQ(error, QStringLiteral("timed out"));
    EXPECT_GE(clock.elapsed(), 250);
    EXPECT_LT(clock.elapsed(), 20000);
    EXPECT_FALSE(QFileInfo::exists(Q(target)));
    EXPECT_EQ(QtDownloader::kDefaultTimeoutMs, 30000);
}

TEST(Downloader, ABodyOverTheLimitIsRefused) {
    EnsureApp();
    const std::string dir = testsupport::ScratchDir("dl-large");
    testsupport::WriteFile(dir + "/big.ini", std::string(5000, 'x'));
    testsupport::WriteFile(dir + "/update.ini", "old");
    QtDownloader downloader(30000, 4096);
    QString error;
    EXPECT_FALSE(downloader.Download(QUrl::fromLocalFile(Q(dir + "/big.ini")),
                                     Q(dir + "/update.ini"), &error));
    EXPECT_EQ(testsupport::ReadFile(dir + "/update.ini"), "old");
    // Exactly at the limit is fine.
    testsupport::WriteFile(dir + "/fits.ini", std::string(4096, 'y'));
    EXPECT_TRUE(downloader.Download(QUrl::fromLocalFile(Q(dir + "/fits.ini")),
                                    Q(dir + "/update.ini"), &error));
    EXPECT_EQ(testsupport::ReadFile(dir + "/update.ini"), std::string(4096, 'y'));
}

TEST(Downloader, UpdateAddressFromTheEnvironment) {
    ::unsetenv("TANDREL_UPDATE_URL");
    const QUrl builtIn = platform::UpdateUrl();
    EXPECT_EQ(builtIn.scheme(), QStringLiteral("https"));
    EXPECT_TRUE(builtIn.host().endsWith(QStringLiteral(".example")));  // never a real server
    ::setenv("TANDREL_UPDATE_URL", "file:///tmp/v/update.ini", 1);
    EXPECT_EQ(platform::UpdateUrl(), QUrl(QStringLiteral("file:///tmp/v/update.ini")));
    ::unsetenv("TANDREL_UPDATE_URL");
}
