// Files dropped on the job list from a file manager: the drag and drop events as Qt delivers them
// (a URL list), then the picker and the options dialog once for all files, the rows in the order
// of the drop, folders read one level deep, and everything unusable named in one message.
#include <QCheckBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QTableView>
#include <QUrl>

#include "AppTestSupport.h"
#include "TestSupport.h"
#include "app/JobListModel.h"
#include "formats/OptionsDialog.h"
#include "formats/PickerDialog.h"

using namespace apptest;

namespace {

const char* kNotice = "提示";

class Drop : public WindowWithFoldersTest {
protected:
    QWidget* Target() const { return form_->AdvListView1()->viewport(); }

    // A file manager's drag entering the list (QDragEnterEvent) or dropping on it (QDropEvent),
    // proposing `proposed`; whether it was accepted and with which action.
    template <typename Event>
    std::pair<bool, Qt::DropAction> Send(QMimeData* data, Qt::DropAction proposed) {
        Event e(QPoint(20, 20), Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, data,
                Qt::LeftButton, Qt::NoModifier);
        e.setDropAction(proposed);
        QApplication::sendEvent(Target(), &e);
        return {e.isAccepted(), e.dropAction()};
    }
    auto Enter(QMimeData* data, Qt::DropAction proposed = Qt::CopyAction) {
        return Send<QDragEnterEvent>(data, proposed);
    }
    auto Release(QMimeData* data, Qt::DropAction proposed = Qt::CopyAction) {
        return Send<QDropEvent>(data, proposed);
    }
    static QMimeData* Urls(const QList<QUrl>& urls) {
        auto* data = new QMimeData;
        data->setUrls(urls);
        return data;
    }
    QString Folder(const std::string& name) const {
        const QString dir = QString::fromStdString(src_) + "/" + QString::fromStdString(name);
        QDir().mkpath(dir);
        return dir;
    }
    static void WriteText(const QString& path) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a clip\n");
    }
};

TEST_F(Drop, FilesAndAFolderGoThroughOnePickerAndAreAddedInTheOrderOfTheDrop) {
    const QString one = Clip("one.avi");
    const QString dir = Folder("dropped");
    CopyOf("wav_pcm", src_ + "/dropped", "a.wav");
    CopyOf("mp4_h264_aac", src_ + "/dropped", "b.MP4");  // letter case does not matter
    WriteText(dir + "/notes.txt");                       // not a media type: left out quietly
    QDir().mkpath(dir + "/sub");
    CopyOf("avi_mpeg4_mp3", src_ + "/dropped/sub", "c.avi");  // one level only
    const QString missing = QString::fromStdString(src_) + "/gone.avi";
    const QUrl remote(QStringLiteral("http://example.invalid/clip.mp4"));  // never fetched

    std::unique_ptr<QMimeData> data(Urls({QUrl::fromLocalFile(one), QUrl::fromLocalFile(dir),
                                          remote, QUrl::fromLocalFile(missing)}));
    // A proposed move is turned into a copy: the file manager must not delete the sources.
    const auto entered = Enter(data.get(), Qt::MoveAction);
    EXPECT_TRUE(entered.first);
    EXPECT_EQ(entered.second, Qt::CopyAction);

    bool cutEnabledWhilePicking = true;
    TForm8* options = form_->Form8();
    auto steps = PickAndConfirm(form_.get());
    steps.front().second = [options, &cutEnabledWhilePicking, next = steps.front().second] {
        cutEnabledWhilePicking = options->findChild<QCheckBox*>("suiCheckBox1")->isEnabled();
        next();
    };
    Script script(steps);
    const auto dropped = Release(data.get(), Qt::MoveAction);
    EXPECT_TRUE(dropped.first);
    EXPECT_EQ(dropped.second, Qt::CopyAction);
    // The drop returns before any dialog opens (the file manager waits for it).
    EXPECT_EQ(form_->Model()->rowCount(), 0);

    ASSERT_TRUE(WaitFor([&] { return script.Finished() && form_->Model()->rowCount() == 3; }))
        << "rows: " << form_->Model()->rowCount();
    EXPECT_EQ(Sources(), QStringList({one, dir + "/a.wav", dir + "/b.MP4"}));
    // Several-files names: the source's name with the profile's extension in the output folder.
    EXPECT_EQ(OutputName(0), out_ + "/one.mp3");
    EXPECT_EQ(OutputName(1), out_ + "/a.mp3");
    EXPECT_EQ(OutputName(2), out_ + "/b.mp3");
    EXPECT_FALSE(cutEnabledWhilePicking) << "no cut range for several files";
    EXPECT_TRUE(dialogs_.openRequests.empty()) << "no file dialog for a drop";

    // One message names what was left out, and only that.
    const auto notices = MessagesCaptioned(dialogs_, U(kNotice));
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_TRUE(notices[0].text.contains(remote.toString())) << notices[0].text;
    EXPECT_TRUE(notices[0].text.contains(missing)) << notices[0].text;
    EXPECT_FALSE(notices[0].text.contains(QStringLiteral("notes.txt"))) << notices[0].text;
    EXPECT_FALSE(notices[0].text.contains(QStringLiteral("c.avi"))) << notices[0].text;
    EXPECT_FALSE(notices[0].text.contains(one)) << notices[0].text;
    EXPECT_TRUE(Enabled("ToolButton3"));
}

TEST_F(Drop, NothingUsableOpensNoPickerAndSaysSoOnce) {
    const QString dir = Folder("texts");
    WriteText(dir + "/readme.txt");
    const QUrl remote(QStringLiteral("ftp://example.invalid/a.avi"));
    std::unique_ptr<QMimeData> data(Urls({QUrl::fromLocalFile(dir), remote}));

    bool pickerShown = false;
    TForm7* picker = form_->Form7();
    Script guard({{[picker] { return picker->isVisible(); },
                   [&pickerShown, picker] {
                       pickerShown = true;
                       picker->reject();
                   }}});
    EXPECT_TRUE(Enter(data.get()).first);
    EXPECT_TRUE(Release(data.get()).first);
    // The message and any picker come from one queued call: when the message is there, the
    // picker would have been shown (and rejected by the guard) already.
    ASSERT_TRUE(WaitFor([&] { return !dialogs_.messages.empty(); }));
    EXPECT_FALSE(pickerShown);
    EXPECT_EQ(form_->Model()->rowCount(), 0);
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_EQ(dialogs_.messages[0].caption, U(kNotice));
    EXPECT_TRUE(dialogs_.messages[0].text.contains(dir));
    EXPECT_TRUE(dialogs_.messages[0].text.contains(remote.toString()));
}

TEST_F(Drop, RefusedWhileABatchRunsAndForDataThatIsNoFileList) {
    // Text is not a file list.
    QMimeData text;
    text.setText(Clip("t.avi"));
    EXPECT_FALSE(Enter(&text).first);
    EXPECT_FALSE(Release(&text).first);

    AddOne(Clip("a.avi"));
    ASSERT_EQ(form_->Model()->rowCount(), 1);
    form_->btnStartClick();
    ASSERT_EQ(form_->State(), app::RunState::Converting);
    std::unique_ptr<QMimeData> data(Urls({QUrl::fromLocalFile(Clip("late.avi"))}));
    EXPECT_FALSE(Enter(data.get()).first);
    EXPECT_FALSE(Release(data.get()).first);
    // A refused drop queues nothing: after the batch the list is as it was.
    ASSERT_TRUE(
        WaitFor([&] { return form_->State() == app::RunState::Idle; }, std::chrono::minutes(3)));
    EXPECT_EQ(Sources(), QStringList({QString::fromStdString(src_) + "/a.avi"}));
    EXPECT_TRUE(dialogs_.messages.empty());
}

}  // namespace
