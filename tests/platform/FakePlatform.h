// Scripted stand-ins for the platform services: they record every request and answer from a
// queue that the test fills beforehand.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <deque>
#include <functional>
#include <map>
#include <vector>

#include "platform/Dialogs.h"
#include "platform/Downloader.h"
#include "platform/Notifier.h"
#include "platform/Shell.h"
#include "platform/SystemPower.h"

namespace platform {

class FakeDialogs final : public IDialogs {
public:
    struct Message {
        QString caption;
        QString text;
        MessageIcon icon;
        MessageButtons buttons;
    };

    // Answers, consumed in order. A message box without a queued answer returns its first
    // offered button (Ok, else Yes, …); an open or browse without one is cancelled.
    std::deque<MessageButton> messageAnswers;
    std::deque<QStringList> openAnswers;
    std::deque<QString> folderAnswers;
    // Runs inside each message box, before it returns (e.g. to look at the window behind it).
    std::function<void(const Message&)> onMessage;

    std::vector<Message> messages;
    std::vector<OpenFileRequest> openRequests;
    std::vector<QString> folderRequests;

    MessageButton ShowMessage(QWidget*, const QString& caption, const QString& text,
                              MessageIcon icon, MessageButtons buttons) override {
        messages.push_back({caption, text, icon, buttons});
        if (onMessage) onMessage(messages.back());
        if (!messageAnswers.empty()) {
            const MessageButton answer = messageAnswers.front();
            messageAnswers.pop_front();
            return answer;
        }
        for (MessageButton b :
             {MessageButton::Ok, MessageButton::Yes, MessageButton::No, MessageButton::Cancel})
            if (buttons.testFlag(b)) return b;
        return MessageButton::Ok;
    }

    QStringList OpenFiles(QWidget*, const OpenFileRequest& request) override {
        openRequests.push_back(request);
        if (openAnswers.empty()) return {};
        QStringList answer = openAnswers.front();
        openAnswers.pop_front();
        return answer;
    }

    QString BrowseFolder(QWidget*, const QString& title, const QString&) override {
        folderRequests.push_back(title);
        if (folderAnswers.empty()) return {};
        QString answer = folderAnswers.front();
        folderAnswers.pop_front();
        return answer;
    }
};

class FakeShell final : public IShell {
public:
    bool result = true;  // what every request returns
    std::vector<QString> paths;
    std::vector<QUrl> links;

    bool OpenPath(const QString& path) override {
        paths.push_back(path);
        return result;
    }
    bool OpenLink(const QUrl& url) override {
        links.push_back(url);
        return result;
    }
};

// Records power-off requests; never touches the machine.
class FakeSystemPower final : public ISystemPower {
public:
    bool result = true;  // what every request returns
    int requests = 0;

    bool PowerOff() override {
        ++requests;
        return result;
    }
    QString LastError() const override {
        return result ? QString() : QStringLiteral("refused by the fake");
    }
};

// Records notifications: "summary|body" each.
class FakeNotifier final : public INotifier {
public:
    std::vector<QString> shown;

    bool Notify(const QString& summary, const QString& body) override {
        shown.push_back(summary + QLatin1Char('|') + body);
        return true;
    }
};

// Serves each URL from a table of bodies (written to the local file as a download would);
// an address missing from the table fails like an unreachable server.
class FakeDownloader final : public IDownloader {
public:
    std::map<QString, QByteArray> bodies;  // by URL text
    std::vector<QUrl> requests;
    // Runs inside each download, before it ends (e.g. to look at the window meanwhile).
    std::function<void(const QUrl&)> during;

    bool Download(const QUrl& url, const QString& localFile, QString* error) override {
        requests.push_back(url);
        if (during) during(url);
        const auto it = bodies.find(url.toString());
        if (it == bodies.end()) {
            if (error) *error = QStringLiteral("unreachable");
            return false;
        }
        QFile file(localFile);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(it->second) != it->second.size()) {
            if (error) *error = QStringLiteral("cannot write");
            return false;
        }
        return true;
    }
};

}  // namespace platform
