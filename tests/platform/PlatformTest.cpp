// The Qt implementations of the platform services, driven offscreen. The shell is only ever
// exercised in record mode: a test never opens anything on the desktop.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include <gtest/gtest.h>

#include "PlatformTestApp.h"
#include "TestSupport.h"
#include "platform/Dialogs.h"
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

TEST(QtDialogs, OpenFilesUsesTheFiltersAndReturnsEmptyOnCancel) {
    EnsureApp();
    QtDialogs dialogs;
    OpenFileRequest request;
    request.title = U("打开");
    request.filters = {{U("所有支持的文件类型"), {"*.AVI", "*.mkv"}},
                       {U("AVI文件 (*.avi)"), {"*.avi"}}};
    request.selectedFilter = 1;
    request.multiple = true;
    WhenModal<QFileDialog>([](QFileDialog* dialog) {
        EXPECT_EQ(dialog->windowTitle(), U("打开"));
        EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFiles);
        EXPECT_EQ(dialog->nameFilters(),
                  QStringList({U("所有支持的文件类型 (*.AVI *.avi *.mkv *.MKV)"),
                               U("AVI文件 (*.avi) (*.avi *.AVI)")}));
        EXPECT_EQ(dialog->selectedNameFilter(), U("AVI文件 (*.avi) (*.avi *.AVI)"));
        dialog->reject();
    });
    EXPECT_TRUE(dialogs.OpenFiles(nullptr, request).isEmpty());
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
