// The main window as a user drives it, on the timings a user meets: the stop question answered
// just as the next file of the batch begins.
#include <QDir>
#include <QJsonArray>
#include <QJsonObject>

#include "AppTestSupport.h"
#include "TestSupport.h"
#include "app/JobListModel.h"

using namespace apptest;

namespace {

const int kAviProfileTab = 0, kAviProfilePosition = 13;  // 313 "通用AVI视频格式"

class UserSession : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        CreateWithFolders();
        QObject::connect(form_.get(), &TForm1::terminationHandled, form_.get(),
                         [this](int task) { batchEnded_ |= task < 0; });
    }
    bool batchEnded_ = false;
};

}  // namespace

// The first file ends while the question is open and the second begins; "OK" comes before the
// second has reported any progress. It has converted a little and its file is kept: its row
// says it was stopped, never that it is still waiting ("准备").
TEST_F(UserSession, AFileStoppedAsItBeganShowsStopped) {
    AddOne(Clip("short.avi"), PickAndConfirm(form_.get(), kAviProfileTab, kAviProfilePosition));
    const QString longClip = LongClip(20);
    ASSERT_FALSE(longClip.isEmpty());
    AddOne(longClip, PickAndConfirm(form_.get(), kAviProfileTab, kAviProfilePosition));
    ASSERT_EQ(form_->Model()->rowCount(), 2);

    bool asked = false;
    dialogs_.onMessage = [&](const platform::FakeDialogs::Message& m) {
        if (m.text != U("您确实要终止目前的转换工作吗？")) return;
        asked = true;
        // The second file has begun when its hidden file is there.
        EXPECT_TRUE(WaitFor([&] {
            return Cell(0, app::kColStatus) == U("完成") &&
                   !QDir(out_)
                        .entryList({QStringLiteral(".*.part")}, QDir::Files | QDir::Hidden)
                        .isEmpty();
        }));
        dialogs_.messageAnswers = {platform::MessageButton::Ok};
    };
    form_->btnStartClick();
    form_->btnStopClick();
    ASSERT_TRUE(WaitFor([&] { return batchEnded_; }, std::chrono::minutes(2)));
    ASSERT_TRUE(asked);

    EXPECT_EQ(Cell(0, app::kColStatus), U("完成"));
    const QStringList outputs = QDir(out_).entryList(QDir::Files, QDir::Name);
    ASSERT_EQ(outputs.size(), 2) << outputs.join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(Cell(1, app::kColStatus), U("停止"))
        << Cell(1, app::kColTime).toStdString() << " " << Cell(1, app::kColProgress).toStdString();
}

// A clip without sound, added with the MP3 profile (the picker's first choice): the batch
// skips it before it starts and says why, in the log, instead of failing on it; the other
// file is converted.
TEST_F(UserSession, AFileWithoutSoundForAnMp3ProfileIsSkippedWithItsReason) {
    const QString mute = Clip("mute.mp4", "bframes_4s");
    const QString both = Clip("both.avi");
    const QJsonObject streams = testsupport::FfprobeJson(mute.toStdString());
    ASSERT_EQ(streams["streams"].toArray().size(), 1);  // a picture, no sound
    AddOne(both);
    AddOne(mute);  // last: the log shows what the start of a batch said of its last row
    ASSERT_EQ(form_->Model()->rowCount(), 2);
    form_->btnStartClick();
    ASSERT_TRUE(WaitFor([&] { return batchEnded_; }, std::chrono::minutes(2)));
    const auto notices = MessagesCaptioned(dialogs_, U("提示"));
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_TRUE(notices[0].text.contains(mute)) << notices[0].text;
    EXPECT_TRUE(LogText().contains(U("the source has no sound for this sound-only format")))
        << LogText();
    EXPECT_EQ(Statuses(), QStringList({U("完成"), U("失败")}));
    EXPECT_EQ(QDir(out_).entryList(QDir::Files), QStringList({"both.mp3"}));
}
