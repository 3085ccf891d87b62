// The player panel offscreen: loading the selected file, the seek bar, mute, the buttons, the
// snapshot menu and captures (files compared with the ffmpeg program's decode), with scripted
// dialogs and shell and a recording sound player.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QSlider>
#include <QTest>
#include <QThread>
#include <QToolButton>
#include <chrono>
#include <filesystem>
#include <memory>

#include <gtest/gtest.h>

#include "FakePlatform.h"
#include "PlayerTestSupport.h"
#include "TestMedia.h"
#include "TestSupport.h"
#include "WidgetTestSupport.h"
#include "engine/MainThread.h"
#include "platform/IniFile.h"
#include "player/PlayerPanel.h"
#include "player/SdlAudio.h"

using namespace playertest;
namespace fs = std::filesystem;

namespace {

using widgettest::Q;
using widgettest::U;

const char* kStatus = "已经为您捕获视频快照，您可以点击“快照设置”按钮打开快照目录查看图片。";

class FakeSound final : public player::ISoundPlayer {
public:
    std::vector<QString> played;
    bool PlayFile(const QString& wavFile) override {
        played.push_back(wavFile);
        return true;
    }
};

class PanelTest : public PlayerTest {
protected:
    void SetUp() override {
        PlayerTest::SetUp();
        widgettest::EnsureApp("player_panel_tests");
        mainthread::SetWakeup([] {
            QMetaObject::invokeMethod(
                qApp, [] { mainthread::Drain(); }, Qt::QueuedConnection);
        });
        scratch_ = testsupport::ScratchDir("panel");
        settings_ = Q(scratch_) + "/system.ini";
        TPlayerPanelServices s;
        s.dialogs = &dialogs_;
        s.shell = &shell_;
        s.settingsFile = settings_;
        s.captureSound = QStringLiteral(TANDREL_SOURCE_DIR "/resources/sounds/cam.wav");
        s.sound = &sound_;
        s.statusText = [this](const QString& t) { statuses_.push_back(t); };
        s.logLine = [this](const QString& t) { logs_.push_back(t); };
        panel_ = std::make_unique<TPlayerPanel>(s);
        panel_->resize(329, 289);
        panel_->show();
        QApplication::processEvents();
    }
    void TearDown() override {
        panel_.reset();
        mainthread::SetWakeup(nullptr);
    }

    // Runs Qt events and dispatcher calls until `done`; false after `limit` seconds.
    bool Pump(const std::function<bool()>& done, double limit = 30) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(limit);
        while (!done()) {
            if (std::chrono::steady_clock::now() > until) return false;
            QApplication::processEvents(QEventLoop::AllEvents, 5);
            mainthread::Drain();
            QThread::msleep(1);
        }
        return true;
    }

    // Selects a file as the job list does and waits for its first picture, paused.
    void Load(const std::string& path) {
        panel_->SetSelectedSourceFile(Q(path));
        panel_->Button31Click();
        ASSERT_TRUE(panel_->Player().Active()) << panel_->Player().LastErrorMessage();
        ASSERT_TRUE(Pump([&] { return panel_->Player().State() == psPause; }));
    }

    void WriteSettings(const QString& dir, const QString& picture) {
        platform::IniFile ini(settings_);
        if (!dir.isNull()) ini.WriteString("SnapShot", "Dir", dir);
        if (!picture.isNull()) ini.WriteString("SnapShot", "Picture", picture);
    }
    QString Setting(const char* key) {
        return platform::IniFile(settings_).ReadString("SnapShot", key, "(missing)");
    }

    // A copy of a fixture under a chosen name.
    std::string Copy(const std::string& id, const std::string& name) {
        const std::string path = scratch_ + "/" + name;
        fs::copy_file(fs::u8path(testmedia::Path(id)), fs::u8path(path),
                      fs::copy_options::overwrite_existing);
        return path;
    }

    std::string scratch_;
    QString settings_;
    platform::FakeDialogs dialogs_;
    platform::FakeShell shell_;
    FakeSound sound_;
    std::vector<QString> statuses_, logs_;
    std::unique_ptr<TPlayerPanel> panel_;
};

// ---------------------------------------------------------------------------------------------
// Playing.

TEST_F(PanelTest, ControlsCarryTheirCaptions) {
    const std::vector<std::pair<const char*, const char*>> buttons = {
        {"Image3", "播放"},       {"Image4", "暂停"},      {"Image5", "停止"},
        {"Image14", "声音/静音"}, {"Image24", "捕捉快照"}, {"Image26", "快照设置"}};
    for (const auto& [name, hint] : buttons) {
        QToolButton* b = panel_->Button(name);
        ASSERT_NE(b, nullptr) << name;
        EXPECT_EQ(b->toolTip(), U(hint));
        EXPECT_EQ(b->accessibleName(), U(hint));
    }
    QStringList items;
    for (QAction* a : panel_->SnapshotMenu()->actions()) {
        if (a->isSeparator()) continue;
        items << a->text();
        if (a->menu())
            for (QAction* sub : a->menu()->actions()) items << sub->text();
    }
    EXPECT_EQ(items, (QStringList{U("打开快照目录"), U("设置快照目录"), U("快照保存类型"),
                                  U("BMP图片"), U("JPG图片"), U("GIF图片"), U("PNG图片")}));
}

TEST_F(PanelTest, SelectingARowLoadsItsFilePausedOnItsFirstPicture) {
    Load(testmedia::Path("frames10s"));
    EXPECT_EQ(FrameNumber(panel_->Player().CurrentFrame()), 0);
    EXPECT_EQ(panel_->PlayDuration(), 10000000);
    EXPECT_EQ(panel_->SeekBar()->maximum(), panel_->SeekBar()->width());
    EXPECT_EQ(panel_->SeekBar()->value(), 0);

    // The video panel shows the picture, letterboxed at 4:3 on black.
    const QPoint middle(panel_->VideoPanel()->width() / 2, panel_->VideoPanel()->height() * 3 / 4);
    ASSERT_TRUE(Pump([&] {
        return panel_->VideoPanel()->grab().toImage().pixelColor(middle) != QColor(Qt::black);
    }));
    const QImage shot = panel_->VideoPanel()->grab().toImage();
    const QSize size = panel_->VideoPanel()->size();
    const int pictureWidth = (size.height() * 4 / 3) & ~1;
    const int left = (size.width() - pictureWidth) / 2;
    ASSERT_GT(left, 2);
    EXPECT_EQ(shot.pixelColor(left / 2, size.height() / 2), QColor(Qt::black));
    // The picture in its rectangle is the decoded picture, scaled.
    const QRect rect(left, (size.height() - size.height()) / 2, pictureWidth, size.height() & ~1);
    const QImage drawn = shot.copy(rect).convertToFormat(QImage::Format_RGB888);
    const QImage scaled = panel_->Player().CurrentFrame().scaled(rect.size(), Qt::IgnoreAspectRatio,
                                                                 Qt::SmoothTransformation);
    EXPECT_LE(MeanAbsError(drawn, scaled), 8.0);
    EXPECT_TRUE(logs_.empty());
    // Another row selected while this one plays: PlayerWindow.SelectingAJobRow… (the job list
    // drives this same panel).
}

TEST_F(PanelTest, AFileThatCannotBeOpenedGoesToTheLog) {
    const std::string missing = scratch_ + "/gone.avi";
    panel_->SetSelectedSourceFile(Q(missing));
    panel_->Button31Click();
    ASSERT_EQ(logs_.size(), 1u);
    EXPECT_EQ(logs_[0], Q(missing + ": No such file or directory"));
}

TEST_F(PanelTest, TheSeekBarSeeksAndPlaysOn) {
    Load(testmedia::Path("intra25"));  // 8 s, every picture a key frame
    QSlider* bar = panel_->SeekBar();
    const QPoint middle(bar->width() / 2, bar->height() / 2);
    QTest::mousePress(bar, Qt::LeftButton, {}, middle);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, middle);
    ASSERT_GT(bar->maximum(), 0);
    const double target = 8.0 * bar->value() / bar->maximum();
    EXPECT_NEAR(target, 4.0, 0.5);
    const int wanted = static_cast<int>(std::floor(target * 25));
    ASSERT_TRUE(Pump([&] { return FrameNumber(panel_->Player().CurrentFrame()) >= wanted - 1; }));
    const int landed = FrameNumber(panel_->Player().CurrentFrame());
    EXPECT_LE(landed, wanted + 3);
    // And it goes on playing from there.
    ASSERT_TRUE(Pump([&] { return FrameNumber(panel_->Player().CurrentFrame()) >= landed + 5; }));
    EXPECT_EQ(panel_->Player().State(), psResume);
}

TEST_F(PanelTest, TheSeekBarFollowsPlaybackAndTheEndReturnsToTheStart) {
    Load(testmedia::Path("intra25"));  // 8 s, 25 numbered pictures a second, no sound
    QSlider* bar = panel_->SeekBar();
    const double perSecond = bar->maximum() / 8.0;
    // Each move of the handle while media seconds 1 to 3 play: where the playback is (within
    // 0.2 s: the time read here runs a little ahead of the event's), and at least 4 a second.
    int moves = 0;
    QObject::connect(bar, &QSlider::valueChanged, bar, [&](int value) {
        const int64_t pts = panel_->Player().CurrentPosition();
        if (pts < 1000000 || pts > 3000000) return;
        ++moves;
        EXPECT_NEAR(value, perSecond * pts / 1e6, perSecond * 0.2);
    });
    panel_->Image3Click();
    ASSERT_TRUE(Pump([&] { return panel_->Player().CurrentPosition() >= 3000000; }));
    EXPECT_GE(moves, 8);

    // Played to its end, the file goes back to its first picture, paused, the bar at 0.
    panel_->Player().Seek(0, true, 7500000);
    ASSERT_TRUE(Pump([&] { return bar->value() >= bar->maximum() * 95 / 100; }));
    ASSERT_TRUE(Pump([&] {
        return panel_->Player().State() == psPause && bar->value() == 0 &&
               FrameNumber(panel_->Player().CurrentFrame()) == 0;
    }));
    panel_->Image3Click();  // and plays again from there
    ASSERT_TRUE(Pump([&] { return FrameNumber(panel_->Player().CurrentFrame()) >= 10; }));
}

// What mute does to the sound and the clock: PlayerTimingTest.MuteSilencesWithinTwoBuffers…
TEST_F(PanelTest, TheMuteButtonTogglesTheSound) {
    Load(testmedia::Path("clip10s"));
    QTest::mouseClick(panel_->Button("Image14"), Qt::LeftButton);
    EXPECT_TRUE(panel_->Player().Mute());
    QTest::mouseClick(panel_->Button("Image14"), Qt::LeftButton);
    EXPECT_FALSE(panel_->Player().Mute());
}

TEST_F(PanelTest, StopRestartsTheSelectedFilePausedAtItsStart) {
    Load(testmedia::Path("frames10s"));
    panel_->Image3Click();
    ASSERT_TRUE(Pump([&] { return FrameNumber(panel_->Player().CurrentFrame()) >= 10; }));
    panel_->Image5Click();
    ASSERT_TRUE(Pump([&] { return panel_->Player().State() == psPause; }));
    EXPECT_EQ(FrameNumber(panel_->Player().CurrentFrame()), 0);
    panel_->StopPlayer();
    EXPECT_FALSE(panel_->Player().Active());
}

TEST_F(PanelTest, AWindowResizedWhilePausedAndAStretchedPictureAreRedrawn) {
    Load(testmedia::Path("frames10s"));
    QWidget* video = panel_->VideoPanel();
    const QImage picture = panel_->Player().CurrentFrame();
    // The drawn picture in `rect` of the video panel, compared with the decoded one scaled.
    const auto drawnMatches = [&](const QRect& rect) {
        const QImage drawn =
            video->grab().toImage().copy(rect).convertToFormat(QImage::Format_RGB888);
        return MeanAbsError(drawn, picture.scaled(rect.size(), Qt::IgnoreAspectRatio,
                                                  Qt::SmoothTransformation)) <= 8.0;
    };
    // Stretched over the whole panel.
    panel_->Player().SetAspectRatio(-1);
    ASSERT_TRUE(Pump([&] { return drawnMatches(video->rect()); }, 10));
    // Back to 4:3, in a resized panel: letterboxed anew.
    panel_->Player().SetAspectRatio(0);
    video->setMinimumSize(200, 100);
    video->setMaximumSize(200, 100);
    ASSERT_TRUE(Pump([&] { return video->size() == QSize(200, 100); }, 10));
    const int width = (100 * 4 / 3) & ~1;
    ASSERT_TRUE(Pump([&] { return drawnMatches(QRect((200 - width) / 2, 0, width, 100)); }, 10));
    EXPECT_EQ(video->grab().toImage().pixelColor(5, 50), QColor(Qt::black));
    EXPECT_EQ(panel_->Player().State(), psPause);
}

TEST_F(PanelTest, TheSeekBarWithoutARangeOrDurationJustPlaysOn) {
    Load(testmedia::Path("intra25"));
    panel_->SeekBar()->setMaximum(0);  // no range: no target can be worked out
    panel_->SeekBarMouseDown();
    panel_->SeekBarMouseUp();
    ASSERT_TRUE(Pump([&] { return FrameNumber(panel_->Player().CurrentFrame()) >= 5; }));
    EXPECT_LT(FrameNumber(panel_->Player().CurrentFrame()), 50);  // went on from the start
    EXPECT_EQ(panel_->Player().State(), psResume);
}

// ---------------------------------------------------------------------------------------------
// Snapshots.

TEST_F(PanelTest, TwoJpgCapturesAreNumberedOneAndTwo) {
    const std::string source = Copy("odd_ffv1", "clip.avi");
    const QString folder = Q(scratch_) + U("/快照 目录");
    WriteSettings(folder, "JPG");
    Load(source);
    panel_->Image24Click();
    panel_->Image24Click();
    EXPECT_TRUE(QFileInfo::exists(folder + "/clip_1.jpg"));
    EXPECT_TRUE(QFileInfo::exists(folder + "/clip_2.jpg"));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 2);
    EXPECT_EQ(statuses_, (std::vector<QString>{U(kStatus), U(kStatus)}));
    ASSERT_EQ(sound_.played.size(), 2u);
    EXPECT_TRUE(sound_.played[0].endsWith("sounds/cam.wav"));

    const QImage jpeg = DecodeImageFile((folder + "/clip_1.jpg").toStdString());
    ASSERT_EQ(jpeg.size(), QSize(321, 241));
    const QImage reference = ReferenceFrame(source, 0);
    // Over all three colours: the saturated edges of the test pattern are where halved colour
    // planes would show.
    const double psnr = Psnr(jpeg, reference);
    std::printf("JPEG PSNR %.1f dB\n", psnr);
    EXPECT_GE(psnr, 35.0);
    // Baseline: the start-of-frame marker is SOF0 (0xFFC0), not progressive SOF2.
    QFile f(folder + "/clip_1.jpg");
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    EXPECT_TRUE(bytes.contains(QByteArray("\xff\xc0", 2)));
    EXPECT_FALSE(bytes.contains(QByteArray("\xff\xc2", 2)));
}

TEST_F(PanelTest, BmpPngAndGifCapturesMatchTheReferenceDecode) {
    const std::string source = Copy("odd_ffv1", "clip.avi");
    const QString folder = Q(scratch_) + "/shots";
    WriteSettings(folder, "BMP");
    Load(source);
    const QImage reference = ReferenceFrame(source, 0);
    ASSERT_EQ(reference.size(), QSize(321, 241));

    panel_->Image24Click();
    const QString bmp = folder + "/clip_1.bmp";
    const QImage fromBmp = DecodeImageFile(bmp.toStdString());
    ASSERT_EQ(fromBmp.size(), QSize(321, 241));
    EXPECT_LE(MaxAbsError(fromBmp, reference), 2);
    QFile f(bmp);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray header = f.read(30);
    EXPECT_EQ(header.left(2), QByteArray("BM"));
    EXPECT_EQ(static_cast<int>(header[28]), 24);  // bits per pixel

    panel_->ChooseSnapshotFormat(player::SnapshotFormat::Png);
    EXPECT_EQ(Setting("Picture"), "PNG");
    panel_->Image24Click();
    const QImage fromPng = DecodeImageFile((folder + "/clip_1.png").toStdString());
    ASSERT_EQ(fromPng.size(), QSize(321, 241));
    EXPECT_LE(MaxAbsError(fromPng, reference), 2);

    panel_->ChooseSnapshotFormat(player::SnapshotFormat::Gif);
    panel_->Image24Click();
    const QString gif = folder + "/clip_1.gif";
    const QImage fromGif = DecodeImageFile(gif.toStdString());
    ASSERT_EQ(fromGif.size(), QSize(321, 241));
    EXPECT_LE(ColourCount(fromGif), 256);
    const double psnr = Psnr(fromGif, reference);
    std::printf("GIF PSNR %.1f dB, %d colours\n", psnr, ColourCount(fromGif));
    EXPECT_GE(psnr, 25.0);
    EXPECT_EQ(
        testsupport::FfprobeJson(gif.toStdString())["format"].toObject()["format_name"].toString(),
        "gif");
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 3);  // no leftovers
}

TEST_F(PanelTest, AnUnknownFormatFallsBackToBmp) {
    const std::string source = Copy("odd_ffv1", "clip.avi");
    const QString folder = Q(scratch_) + "/shots";
    WriteSettings(folder, "TIFF");
    Load(source);
    panel_->Image24Click();
    EXPECT_TRUE(QFileInfo::exists(folder + "/clip_1.bmp"));
    EXPECT_EQ(Setting("Picture"), "BMP");
    EXPECT_EQ(panel_->CheckedSnapshotFormat(), player::SnapshotFormat::Bmp);
}

TEST_F(PanelTest, WithoutSettingsTheDefaultsAreWrittenAndTheFolderMade) {
    ASSERT_FALSE(QFileInfo::exists(settings_));
    Load(Copy("odd_ffv1", "clip.avi"));
    panel_->Image24Click();
    const QString expectedFolder = qEnvironmentVariable("HOME") + U("/Video_Directory/快照");
    EXPECT_EQ(Setting("Dir"), expectedFolder);
    EXPECT_EQ(Setting("Picture"), "BMP");
    EXPECT_TRUE(QFileInfo::exists(expectedFolder + "/clip_1.bmp"));
}

TEST_F(PanelTest, AnUnwritableFolderGivesAWarningAndNoFile) {
    // A folder below a plain file can be neither made nor written (also for root).
    const std::string plain = scratch_ + "/plain";
    testsupport::WriteFile(plain, "x");
    WriteSettings(Q(plain) + "/shots", "PNG");
    Load(Copy("odd_ffv1", "clip.avi"));
    panel_->Image24Click();
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_EQ(dialogs_.messages[0].icon, platform::MessageIcon::Warning);
    EXPECT_TRUE(dialogs_.messages[0].text.contains("clip_1.png"));
    EXPECT_TRUE(statuses_.empty());
    EXPECT_TRUE(sound_.played.empty());
    EXPECT_EQ(QDir(Q(scratch_)).entryList(QDir::Files | QDir::Hidden, QDir::Name),
              (QStringList{"clip.avi", "plain", "system.ini"}));
}

TEST_F(PanelTest, NamesWithChineseCharactersAndSpaces) {
    const std::string source = Copy("odd_ffv1", "测试 视频 clip.avi");
    const QString folder = Q(scratch_) + U("/快照 目录");
    WriteSettings(folder, "PNG");
    Load(source);
    panel_->Image24Click();
    const QString shot = folder + U("/测试 视频 clip_1.png");
    ASSERT_TRUE(QFileInfo::exists(shot));
    EXPECT_EQ(DecodeImageFile(shot.toStdString()).size(), QSize(321, 241));
    EXPECT_EQ(statuses_.size(), 1u);
}

TEST_F(PanelTest, CapturingWithoutAPictureDoesNothing) {
    const QString folder = Q(scratch_) + "/shots";
    WriteSettings(folder, "PNG");
    panel_->Image24Click();            // nothing loaded
    Load(testmedia::Path("wav_pcm"));  // sound only
    panel_->Image24Click();
    EXPECT_TRUE(QDir(folder).entryList(QDir::Files).isEmpty());
    EXPECT_TRUE(statuses_.empty());
    EXPECT_TRUE(sound_.played.empty());
    EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(PanelTest, SnapshotMenuReadsAndWritesTheSettings) {
    WriteSettings(QString(), "GIF");
    panel_->Button55Click();
    EXPECT_EQ(panel_->CheckedSnapshotFormat(), player::SnapshotFormat::Gif);
    panel_->ChooseSnapshotFormat(player::SnapshotFormat::Jpg);
    EXPECT_EQ(Setting("Picture"), "JPG");

    const QString chosen = Q(testsupport::ScratchDir("chosen"));
    dialogs_.folderAnswers = {chosen, Q(scratch_) + "/does-not-exist"};
    panel_->ChooseSnapshotFolder();
    ASSERT_EQ(dialogs_.folderRequests.size(), 1u);
    EXPECT_EQ(dialogs_.folderRequests[0], U("选择快照文件存放目录"));
    EXPECT_EQ(Setting("Dir"), chosen);
    panel_->ChooseSnapshotFolder();  // a folder that does not exist is not stored
    EXPECT_EQ(Setting("Dir"), chosen);
    panel_->ChooseSnapshotFolder();  // cancelled
    EXPECT_EQ(Setting("Dir"), chosen);

    panel_->OpenSnapshotFolder();
    EXPECT_EQ(shell_.paths, std::vector<QString>{chosen});
}

// ---------------------------------------------------------------------------------------------
// The capture sound through SDL.

TEST_F(PanelTest, TheCaptureSoundPlaysThroughSdl) {
    player::SdlSoundPlayer sound;
    const QString wav = QStringLiteral(TANDREL_SOURCE_DIR "/resources/sounds/cam.wav");
    // The hint asks for ALSA, but an SDL_AUDIODRIVER set before the start (the test main sets
    // "dummy") wins: SDL reads the environment before hints of normal priority.
    ASSERT_TRUE(player::StartAudio("alsa", nullptr));
    EXPECT_EQ(player::AudioDriverName(), "dummy");
    EXPECT_TRUE(sound.PlayFile(wav));
    EXPECT_TRUE(sound.Busy());
    EXPECT_FALSE(sound.PlayFile(Q(scratch_) + "/missing.wav"));
    EXPECT_TRUE(sound.PlayFile(wav));
    // The device closes itself once the 0.24 s sound has had time to play.
    EXPECT_TRUE(Pump([&] { return !sound.Busy(); }, 10));
}

}  // namespace
