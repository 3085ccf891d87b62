// The Qt implementations of the platform services, driven offscreen. The shell is only ever
// exercised in record mode: a test never opens anything on the desktop; notifications go to a
// private session bus.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "PlatformTestApp.h"
#include "TestSupport.h"
#include "platform/Dialogs.h"
#include "platform/Notifier.h"
#include "platform/Shell.h"
#include "platform/SystemPower.h"

using namespace platform;
using platformtest::EnsureApp;

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// Calls `act` with the modal dialog of type T once it is up (polling inside its loop).
template <typename T>
void WhenModal(std::function<void(T*)> act) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (auto* w = qobject_cast<T*>(QApplication::activeModalWidget()); w && w->isVisible()) {
            timer->stop();
            timer->deleteLater();
            act(w);
        }
    });
    timer->start(5);
}

class RecordFile {
public:
    RecordFile() : path_(testsupport::ScratchDir("record") + "/requests.txt") {
        ::setenv("TANDREL_RECORD_PLATFORM", path_.c_str(), 1);
    }
    ~RecordFile() { ::unsetenv("TANDREL_RECORD_PLATFORM"); }
    std::string Text() const { return testsupport::ReadFile(path_); }

private:
    std::string path_;
};

}  // namespace

TEST(QtDialogs, NameFilterListsBothLetterCases) {
    EXPECT_EQ(QtDialogs::NameFilter({U("AVI文件 (*.avi)"), {"*.avi"}}),
              U("AVI文件 (*.avi) (*.avi *.AVI)"));
    EXPECT_EQ(QtDialogs::NameFilter({U("所有的文件 (*.*)"), {"*.*"}}), U("所有的文件 (*.*) (*.*)"));
    // Mixed-case patterns keep their own form; repeated patterns appear once.
    EXPECT_EQ(QtDialogs::NameFilter({"x", {"*.AVI", "*.m4v", "*.M4V", "*.Mp4"}}),
              "x (*.AVI *.avi *.m4v *.M4V *.Mp4 *.mp4 *.MP4)");
}

TEST(QtDialogs, MessageBoxReturnsThePressedButton) {
    EnsureApp();
    QtDialogs dialogs;
    WhenModal<QMessageBox>([](QMessageBox* box) {
        EXPECT_EQ(box->windowTitle(), U("提示"));
        EXPECT_EQ(box->text(), U("正文"));
        EXPECT_EQ(box->icon(), QMessageBox::Question);
        box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(dialogs.ShowMessage(nullptr, U("提示"), U("正文"), MessageIcon::Question,
                                  MessageButton::Yes | MessageButton::No),
              MessageButton::No);

    // Escape on a box with Cancel gives Cancel.
    WhenModal<QMessageBox>([](QMessageBox* box) { box->reject(); });
    EXPECT_EQ(dialogs.ShowMessage(nullptr, "c", "t", MessageIcon::Warning,
                                  MessageButton::Ok | MessageButton::Cancel),
              MessageButton::Cancel);

    WhenModal<QMessageBox>([](QMessageBox* box) {
        EXPECT_EQ(box->icon(), QMessageBox::Information);
        box->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(dialogs.ShowMessage(nullptr, "c", "t", MessageIcon::Information), MessageButton::Ok);
}

// The open dialog as the user meets it: Qt's own texts in Chinese, each filter shown as its
// description alone, and a pattern matching names in either letter case.
TEST(QtDialogs, OpenFilesShowsChineseAndEachPatternOnce) {
    EnsureApp();
    const std::string folder = testsupport::ScratchDir("open");
    for (const char* name : {"a.avi", "B.AVI", "c.mkv", "d.txt"})
        testsupport::WriteFile(folder + "/" + name, "x");
    QtDialogs dialogs;
    OpenFileRequest request;
    request.title = U("打开");
    request.folder = QString::fromStdString(folder);
    request.filters = {{U("所有支持的文件类型"), {"*.AVI", "*.mkv"}},
                       {U("AVI文件 (*.avi)"), {"*.avi"}},
                       {U("MPEG文件 (*.mpg;*.mpeg)"), {"*.mpg", "*.mpeg"}}};
    request.selectedFilter = 1;
    request.multiple = true;
    QStringList shown, listed, texts;
    WhenModal<QFileDialog>([&](QFileDialog* dialog) {
        EXPECT_EQ(dialog->windowTitle(), U("打开"));
        EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFiles);
        EXPECT_EQ(dialog->nameFilters()[1], U("AVI文件 (*.avi) (*.avi *.AVI)"));
        EXPECT_EQ(dialog->selectedNameFilter(), U("AVI文件 (*.avi)"));
        const auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        for (int i = 0; types && i < types->count(); ++i) shown << types->itemText(i);
        // The listing comes from a file-system thread.
        const auto* model = dialog->findChild<QFileSystemModel*>();
        QElapsedTimer clock;
        clock.start();
        while (model && listed.size() < 2 && clock.elapsed() < 30000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            listed.clear();
            const QModelIndex root = model->index(request.folder);
            for (int row = 0; row < model->rowCount(root); ++row)
                listed << model->index(row, 0, root).data().toString();
        }
        for (const QAbstractButton* b : dialog->findChildren<QAbstractButton*>())
            if (b->isVisible() && !b->text().isEmpty()) texts << b->text();
        for (const QLabel* l : dialog->findChildren<QLabel*>())
            if (l->isVisible()) texts << l->text();
        dialog->reject();
    });
    EXPECT_TRUE(dialogs.OpenFiles(nullptr, request).isEmpty());
    EXPECT_EQ(shown, QStringList({U("所有支持的文件类型"), U("AVI文件 (*.avi)"),
                                  U("MPEG文件 (*.mpg;*.mpeg)")}));
    listed.sort(Qt::CaseInsensitive);
    EXPECT_EQ(listed, QStringList({"a.avi", "B.AVI"}));
    // Qt's texts ("Look in:", "File name:", "Cancel") come out in Chinese.
    EXPECT_TRUE(texts.contains(U("取消"))) << texts.join('/').toStdString();
    EXPECT_TRUE(texts.filter(QRegularExpression(QStringLiteral("[A-Za-z]{3}"))).isEmpty())
        << texts.join('/').toStdString();
    // And the context menu of every text field (its items without their shortcut keys).
    QLineEdit edit;
    std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    QStringList items;
    for (const QAction* action : menu->actions())
        if (!action->isSeparator()) items << action->text().section(QLatin1Char('\t'), 0, 0);
    EXPECT_TRUE(items.filter(QRegularExpression(QStringLiteral("[A-Za-z]{3}"))).isEmpty())
        << items.join('/').toStdString();
    EXPECT_EQ(items.size(), 7) << items.join('/').toStdString();  // undo … select all
}

// The notification service's side of the bus: records each call and never answers, as a
// service that hangs would.
class SilentNotificationService final : public QDBusVirtualObject {
public:
    std::vector<QDBusMessage> calls;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection&) override {
        calls.push_back(message);
        return true;
    }
    QString introspect(const QString&) const override { return {}; }
};

TEST(QtNotifier, AsksTheSessionsNotificationServiceWithoutWaiting) {
    EnsureApp();
    QtNotifier notifier;
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    EXPECT_FALSE(notifier.Notify("a", "b")) << "no session bus: nobody to tell";

    // A private session bus for this test program.
    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--session"), QStringLiteral("--nofork"),
                  QStringLiteral("--print-address=1")});
    ASSERT_TRUE(daemon.waitForReadyRead(30000)) << daemon.errorString().toStdString();
    const QByteArray address = daemon.readLine().trimmed();
    ::setenv("DBUS_SESSION_BUS_ADDRESS", address.constData(), 1);
    QDBusConnection server =
        QDBusConnection::connectToBus(QString::fromUtf8(address), QStringLiteral("service"));
    ASSERT_TRUE(server.isConnected());
    SilentNotificationService service;
    ASSERT_TRUE(
        server.registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"), &service));
    ASSERT_TRUE(server.registerService(QStringLiteral("org.freedesktop.Notifications")));

    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(notifier.Notify(U("全部文件转换完毕"), U("完成 2 个，失败 1 个")));
    EXPECT_LT(clock.elapsed(), 10000) << "waited for an answer";
    while (service.calls.empty() && clock.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_EQ(service.calls.size(), 1u);
    const QDBusMessage& call = service.calls[0];
    EXPECT_EQ(call.interface(), QStringLiteral("org.freedesktop.Notifications"));
    EXPECT_EQ(call.member(), QStringLiteral("Notify"));
    // The specification's argument types: a server refuses a call with any other.
    EXPECT_EQ(call.signature(), QStringLiteral("susssasa{sv}i"));
    const QList<QVariant> args = call.arguments();
    ASSERT_EQ(args.size(), 8);
    EXPECT_EQ(args[1].toUInt(), 0u) << "a new notification, replacing none";
    EXPECT_EQ(args[3].toString(), U("全部文件转换完毕"));
    EXPECT_EQ(args[4].toString(), U("完成 2 个，失败 1 个"));
    EXPECT_EQ(args[7].toInt(), -1);
    server.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
    QDBusConnection::disconnectFromBus(QStringLiteral("service"));
    daemon.kill();
    daemon.waitForFinished();
}

TEST(QtShell, RecordModeWritesRequestsInsteadOfOpening) {
    RecordFile record;
    QtShell shell;
    EXPECT_TRUE(shell.OpenPath(U("/tmp/片 1.avi")));
    EXPECT_TRUE(shell.OpenLink(QUrl("https://example.com/a?b=1")));
    EXPECT_TRUE(shell.OpenLink(QUrl("HTTP://example.com/")));
    EXPECT_TRUE(shell.OpenLink(QUrl("mailto:support@example.com")));
    // Refused without a trace: other schemes, mail links with headers, and an empty path.
    EXPECT_FALSE(shell.OpenLink(QUrl("mailto:a@example.com?attach=/etc/passwd")));
    EXPECT_FALSE(shell.OpenLink(QUrl("http:///no-host")));
    EXPECT_FALSE(shell.OpenLink(QUrl("file:///etc/passwd")));
    EXPECT_FALSE(shell.OpenLink(QUrl("javascript:alert(1)")));
    EXPECT_FALSE(shell.OpenLink(QUrl()));
    EXPECT_FALSE(shell.OpenPath(QString()));
    EXPECT_EQ(record.Text(),
              "open file:///tmp/%E7%89%87%201.avi\n"
              "open https://example.com/a?b=1\n"
              "open http://example.com/\n"
              "open mailto:support@example.com\n");
}

// Only ever in record mode: this test program must never switch the machine off.
TEST(QtSystemPower, RecordModeWritesARequestInsteadOfPoweringOff) {
    RecordFile record;
    QtShell shell;
    QtSystemPower power;
    ASSERT_TRUE(shell.OpenPath(U("/out")));
    ASSERT_TRUE(power.PowerOff());
    EXPECT_TRUE(power.LastError().isEmpty());
    ASSERT_TRUE(power.PowerOff());
    // One line per request, in order, shared with the shell's requests.
    EXPECT_EQ(record.Text(), "open file:///out\npoweroff\npoweroff\n");
}

TEST(QtSystemPower, AnUnwritableRecordFileIsAFailureNotAPowerOff) {
    const std::string folder = testsupport::ScratchDir("record-folder");
    // A folder cannot be appended to: the request fails, and is still not carried out.
    ::setenv("TANDREL_RECORD_PLATFORM", folder.c_str(), 1);
    QtSystemPower power;
    EXPECT_FALSE(power.PowerOff());
    EXPECT_FALSE(power.LastError().isEmpty());
    ::unsetenv("TANDREL_RECORD_PLATFORM");
}

TEST(QtDialogs, MessageBoxShowsTheIconAndAnswersWhenClosedWithoutAButton) {
    EnsureApp();
    QtDialogs dialogs;
    const std::pair<MessageIcon, QMessageBox::Icon> icons[] = {
        {MessageIcon::None, QMessageBox::NoIcon},
        {MessageIcon::Information, QMessageBox::Information},
        {MessageIcon::Warning, QMessageBox::Warning},
        {MessageIcon::Error, QMessageBox::Critical},
        {MessageIcon::Question, QMessageBox::Question},
    };
    for (const auto& [ours, qt] : icons) {
        QMessageBox::Icon shown = QMessageBox::NoIcon;
        QStringList buttons;
        WhenModal<QMessageBox>([&shown, &buttons](QMessageBox* box) {
            shown = box->icon();
            for (QAbstractButton* b : box->buttons()) buttons << b->text();
            box->reject();  // closed from the title bar
        });
        // No button asked for: one "OK" button, which is the answer when the box is closed.
        EXPECT_EQ(dialogs.ShowMessage(nullptr, "c", "t", ours, MessageButton::None),
                  MessageButton::Ok);
        EXPECT_EQ(shown, qt);
        EXPECT_EQ(buttons.size(), 1);
    }
}

TEST(QtDialogs, OpenFilesReturnsTheChosenFilesWithTheirFolders) {
    EnsureApp();
    const QString dir = QString::fromStdString(testsupport::ScratchDir("open files"));
    for (const char* name : {"片 1.avi", "b.AVI", "c.mkv"})
        testsupport::WriteFile((dir + "/" + U(name)).toStdString(), "x");
    QtDialogs dialogs;
    OpenFileRequest request;
    request.title = U("打开");
    request.folder = dir;
    request.multiple = true;
    QString shownFolder;
    WhenModal<QFileDialog>([&shownFolder](QFileDialog* dialog) {
        shownFolder = dialog->directory().absolutePath();
        auto* name = dialog->findChild<QLineEdit*>();
        ASSERT_NE(name, nullptr);
        name->setText(U("\"b.AVI\" \"片 1.avi\""));
        QMetaObject::invokeMethod(dialog, "accept");  // the Open button
    });
    EXPECT_EQ(dialogs.OpenFiles(nullptr, request), QStringList({dir + "/b.AVI", dir + U("/片 1.avi")}));
    EXPECT_EQ(shownFolder, dir);

    // One file only: the dialog does not take several.
    request.multiple = false;
    WhenModal<QFileDialog>([](QFileDialog* dialog) {
        EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
        dialog->findChild<QLineEdit*>()->setText("c.mkv");
        QMetaObject::invokeMethod(dialog, "accept");  // the Open button
    });
    EXPECT_EQ(dialogs.OpenFiles(nullptr, request), QStringList({dir + "/c.mkv"}));
}

TEST(QtDialogs, BrowseFolderReturnsTheChosenFolderOrNothing) {
    EnsureApp();
    const QString start = QString::fromStdString(testsupport::ScratchDir("browse"));
    QDir(start).mkdir(U("输出 目录"));
    testsupport::WriteFile((start + "/file.avi").toStdString(), "x");
    QtDialogs dialogs;
    WhenModal<QFileDialog>([&start](QFileDialog* dialog) {
        EXPECT_EQ(dialog->windowTitle(), U("浏览文件夹"));
        EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
        EXPECT_TRUE(dialog->testOption(QFileDialog::ShowDirsOnly));
        EXPECT_EQ(dialog->directory().absolutePath(), start);
        dialog->findChild<QLineEdit*>()->setText(U("输出 目录"));
        QMetaObject::invokeMethod(dialog, "accept");  // the Open button
    });
    EXPECT_EQ(dialogs.BrowseFolder(nullptr, U("浏览文件夹"), start), start + U("/输出 目录"));

    WhenModal<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
    EXPECT_TRUE(dialogs.BrowseFolder(nullptr, "t", start).isEmpty());
}

TEST(QtShell, RecordModeFailsWhenTheRecordCannotBeWritten) {
    const std::string dir = testsupport::ScratchDir("record-missing");
    ::setenv("TANDREL_RECORD_PLATFORM", (dir + "/no such folder/requests.txt").c_str(), 1);
    QtShell shell;
    EXPECT_FALSE(shell.OpenPath(U("/tmp/a.avi")));
    EXPECT_FALSE(shell.OpenLink(QUrl("https://example.com/")));
    ::unsetenv("TANDREL_RECORD_PLATFORM");
    EXPECT_FALSE(std::filesystem::exists(dir + "/no such folder"));
}
