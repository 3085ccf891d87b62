// The information texts and the information window (TForm9), checked against the reference
// tool's view of generated clips, including the files whose description text would fool a
// text cutter: a file named like a stream line, a raw stream without start times, a bit rate of
// five digits, a file that is not media at all.
#include <QAccessible>
#include <QApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "ProbeTestUtil.h"
#include "TestMedia.h"
#include "TestSupport.h"
#include "WidgetTestSupport.h"
#include "platform/AppPaths.h"
#include "platform/IniFile.h"
#include "platform/Skins.h"
#include "probe/AVProbe.h"
#include "probe/InfoDialog.h"
#include "probe/MediaInfo.h"

namespace {

using widgettest::Q;
using widgettest::U;

void EnsureApp() { widgettest::EnsureApp("info_window_tests"); }

// What the window should show for a clip, worked out from the reference tool's facts with the
// rules of the window (sizes in 1024s, durations cut to whole seconds, kbit/s rounded half to
// even), never from the code under test.
struct Expected {
    QString size, duration, bitRate, formatName, longName;
    QString resolution = QStringLiteral("-1*-1"), frameRate = QStringLiteral("N/A");
    QString videoKbps = QStringLiteral("0  kbps"), audioKbps = QStringLiteral("0  kbps");
    QString sampleRate = QStringLiteral("-1"), channels;
    QString videoText, audioText;
};

QString SizeText(int64_t bytes) {
    if (bytes > 1048576) return QString::asprintf(" %.2f MB", bytes / 1048576.0);
    if (bytes > 1024) return QString::asprintf(" %.2f KB", bytes / 1024.0);
    return QString::asprintf(" %lld Byte", static_cast<long long>(bytes));
}

QString Kbps(double rate) {
    return QString::number(static_cast<long long>(std::nearbyint(rate / 1000.0))) +
           QStringLiteral("  kbps");
}

Expected FromReference(const std::string& path) {
    Expected e;
    const QJsonObject ref = testsupport::FfprobeJson(path);
    EXPECT_FALSE(ref.isEmpty()) << path;
    const QJsonObject format = ref["format"].toObject();
    e.size = SizeText(format["size"].toString().toLongLong());
    if (format.contains("duration")) {
        const int64_t s = probetest::SecondsToMicro(format["duration"].toString()) / 1000000;
        e.duration =
            QString::asprintf(" %02lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                              static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
    }
    const long long bitRate = format["bit_rate"].toString().toLongLong();
    e.bitRate = bitRate > 0 ? QStringLiteral(" %1 kb/s").arg(bitRate / 1000) : U(" N/A");
    e.formatName = format["format_name"].toString();
    e.longName = format["format_long_name"].toString();

    bool video = false, audio = false;
    // A video rate the container does not store: the file's less the audio streams' (an audio
    // rate missing makes it unknown), with one video stream only.
    long long rest = bitRate;
    int videos = 0;
    for (const QJsonValue& v : ref["streams"].toArray()) {
        const QJsonObject s = v.toObject();
        if (s["codec_type"] == "audio")
            rest -= s.contains("bit_rate") ? s["bit_rate"].toString().toLongLong() : bitRate;
        videos +=
            s["codec_type"] == "video" && !s["disposition"].toObject()["attached_pic"].toInt();
    }
    for (const QJsonValue& v : ref["streams"].toArray()) {
        const QJsonObject s = v.toObject();
        if (s["codec_type"] == "video" && !video &&
            s["disposition"].toObject()["attached_pic"].toInt() == 0) {
            video = true;
            e.resolution = QStringLiteral("%1*%2").arg(s["width"].toInt()).arg(s["height"].toInt());
            const QStringList rate = s["r_frame_rate"].toString().split(QLatin1Char('/'));
            e.frameRate = QString::number(rate[0].toDouble() / rate[1].toDouble(), 'f', 2);
            e.videoKbps = s.contains("bit_rate")    ? Kbps(s["bit_rate"].toString().toDouble())
                          : videos == 1 && rest > 0 ? Kbps(rest)
                                                    : U("未知");
        } else if (s["codec_type"] == "audio" && !audio) {
            audio = true;
            e.sampleRate = s["sample_rate"].toString();
            const int channels = s["channels"].toInt();
            e.channels = channels == 1   ? U("单声道")
                         : channels == 2 ? U("立体声")
                                         : QString::number(channels) + U("声道");
            e.audioKbps = Kbps(s["bit_rate"].toString().toDouble());
        }
    }
    // The stream texts of the tool's own dump, first of each kind.
    for (const std::string& text : probetest::ReferenceStreamTexts(path)) {
        const QString t = Q(text);
        if (t.startsWith(QLatin1String("Video:")) && e.videoText.isEmpty() && video &&
            !t.contains(QLatin1String("(attached pic)")))
            e.videoText = t;
        if (t.startsWith(QLatin1String("Audio:")) && e.audioText.isEmpty()) e.audioText = t;
    }
    if (!video) e.videoText = U("无");
    if (!audio) e.audioText = U("无");
    return e;
}

class InfoWindow : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApp();
        testsupport::LoadLibrariesOrFail();
    }

    // Loads `path` into the window, shows it and returns the value of each caption.
    std::map<QString, QString> Show(const std::string& path) {
        EXPECT_TRUE(window_.Load(probe_, Q(path))) << path;
        window_.show();
        std::map<QString, QString> values;
        for (const char* caption :
             {"文件名：", "文件格式：", "播放时长：", "文件大小：", "比特率：", "文件格式全名：",
              "文件扩展名：", "视频分辨率：", "视频帧率：", "视频比特率：", "视频流信息：",
              "音频采样率：", "音频声道：", "音频比特率：", "音频流信息："}) {
            QLabel* label = window_.Value(U(caption));
            EXPECT_NE(label, nullptr) << caption;
            if (label) values[U(caption)] = label->text();
        }
        window_.hide();
        return values;
    }

    // Shows `path` and compares every value with ffprobe's facts; returns the values shown.
    std::map<QString, QString> ExpectShows(const std::string& path, const QString& fileName,
                                           const QString& extension) {
        const Expected e = FromReference(path);
        auto v = Show(path);
        EXPECT_EQ(v[U("文件名：")], fileName);
        EXPECT_EQ(v[U("文件扩展名：")], extension);
        EXPECT_EQ(v[U("文件格式：")], e.formatName);
        EXPECT_EQ(v[U("文件格式全名：")], e.longName);
        EXPECT_EQ(v[U("播放时长：")], e.duration);
        EXPECT_EQ(v[U("文件大小：")], e.size);
        EXPECT_EQ(v[U("比特率：")], e.bitRate);
        EXPECT_EQ(v[U("视频分辨率：")], e.resolution);
        EXPECT_EQ(v[U("视频帧率：")], e.frameRate);
        EXPECT_EQ(v[U("视频比特率：")], e.videoKbps);
        EXPECT_EQ(v[U("视频流信息：")], e.videoText);
        EXPECT_EQ(v[U("音频采样率：")], e.sampleRate);
        EXPECT_EQ(v[U("音频声道：")], e.channels);
        EXPECT_EQ(v[U("音频比特率：")], e.audioKbps);
        EXPECT_EQ(v[U("音频流信息：")], e.audioText);
        return v;
    }

    std::string Make(const std::string& name, const std::string& args) {
        const std::string path = testsupport::ScratchDir("clips") + "/" + name;
        std::string error;
        EXPECT_TRUE(testmedia::RunFfmpeg(args + " " + testmedia::Quote(path), &error)) << error;
        return path;
    }

    struct AppFirst {
        AppFirst() { EnsureApp(); }
    } app_;  // the application exists before any window
    TAVProbe probe_;
    TForm9 window_;
};

}  // namespace

TEST_F(InfoWindow, TypicalMp4) {
    const std::string path =
        Make("clip.mp4",
             "-f lavfi -i testsrc2=size=320x240:rate=25:duration=3 -f lavfi -i "
             "sine=frequency=440:sample_rate=44100:duration=3 -ac 2 -c:v libx264 -preset "
             "ultrafast -pix_fmt yuv420p -c:a aac -b:a 128k");
    // The values the window's rules give for this clip, spelled out.
    auto v = ExpectShows(path, QStringLiteral("clip.mp4"), QStringLiteral(".mp4"));
    EXPECT_EQ(v[U("播放时长：")], QStringLiteral(" 00:00:03"));
    EXPECT_EQ(v[U("视频分辨率：")], QStringLiteral("320*240"));
    EXPECT_EQ(v[U("视频帧率：")], QStringLiteral("25.00"));
    EXPECT_EQ(v[U("音频采样率：")], QStringLiteral("44100"));
    EXPECT_EQ(v[U("音频声道：")], U("立体声"));
    EXPECT_TRUE(v[U("文件大小：")].endsWith(QLatin1String(" KB")));
    EXPECT_TRUE(v[U("比特率：")].endsWith(QLatin1String(" kb/s")));
    EXPECT_TRUE(v[U("视频流信息：")].startsWith(QLatin1String("Video: h264")));
    EXPECT_TRUE(v[U("音频流信息：")].startsWith(QLatin1String("Audio: aac")));
    // The window's texts are those of the info action.
    EXPECT_EQ(window_.Texts().InfoFileName, Q(path));
    EXPECT_EQ(window_.Texts().InfoWidth, QStringLiteral("320"));
    EXPECT_EQ(window_.Texts().InfoHeight, QStringLiteral("240"));
    EXPECT_EQ(window_.Texts().InfoChannels, QStringLiteral("2"));
    EXPECT_EQ(window_.Texts().InfoDump, Q(probe_.InfoText()));
}

TEST_F(InfoWindow, MonoMp3HasNoVideo) {
    const std::string path =
        Make("tone.mp3",
             "-f lavfi -i sine=frequency=1000:sample_rate=44100:duration=2 -ac 1 -c:a "
             "libmp3lame -b:a 64k");
    // Without video: "-1*-1", "无", "0  kbps" and a frame rate of "N/A" (not the quotient of
    // two -1 values); one channel is "单声道" (Expected and FromReference).
    ExpectShows(path, QStringLiteral("tone.mp3"), QStringLiteral(".mp3"));
}

TEST_F(InfoWindow, VideoOnlyAndSurroundSound) {
    const std::string silent = Make(
        "silent.mkv", "-f lavfi -i testsrc2=size=160x120:rate=10:duration=1 -c:v mpeg4 -q:v 5");
    // Without sound: "无", a sample rate of "-1", no channels and "0  kbps" (Expected).
    ExpectShows(silent, QStringLiteral("silent.mkv"), QStringLiteral(".mkv"));

    const std::string surround = testmedia::Path("mkv_51");
    EXPECT_EQ(ExpectShows(surround, QStringLiteral("surround51.mkv"),
                          QStringLiteral(".mkv"))[U("音频声道：")],
              U("6声道"));
}

TEST_F(InfoWindow, NamesAndTextsThatLookLikeStreamLines) {
    // A file name holding the words a text cutter would look for.
    const std::string original = testmedia::Path("mp4_h264_aac");
    const std::string odd = testsupport::ScratchDir("odd") + "/Video: x, StartTime: y.mp4";
    std::filesystem::copy_file(original, odd);
    ExpectShows(odd, QStringLiteral("Video: x, StartTime: y.mp4"), QStringLiteral(".mp4"));

    // Tags holding them too.
    const std::string tagged =
        Make("tagged.mp4",
             "-f lavfi -i testsrc2=size=160x120:rate=25:duration=1 -f lavfi -i "
             "sine=duration=1 -c:v libx264 -preset ultrafast -c:a aac -metadata "
             "\"title=Video: fake, StartTime: 9.000000\" -metadata \"comment=Audio: none\"");
    ExpectShows(tagged, QStringLiteral("tagged.mp4"), QStringLiteral(".mp4"));
}

TEST_F(InfoWindow, AssistiveToolsReadEachValueWithItsCaption) {
    Show(Make("mono.mp4",
              "-f lavfi -i testsrc2=size=480x270:duration=1 -f lavfi -i sine=duration=1 "
              "-ac 1 -c:v libx264 -preset ultrafast -c:a aac"));
    for (const auto& [caption, value] :
         {std::pair{"视频分辨率：", "480*270"}, {"音频声道：", "单声道"}}) {
        QAccessibleInterface* shown =
            QAccessible::queryAccessibleInterface(window_.Value(U(caption)));
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(shown->text(QAccessible::Name), U(value));
        // The caption labels it (besides its group's title).
        QStringList labels;
        for (const auto& [label, relation] : shown->relations(QAccessible::Label))
            labels << label->text(QAccessible::Name);
        EXPECT_TRUE(labels.contains(U(caption))) << labels.join(',').toStdString();
    }
}

TEST_F(InfoWindow, RawStreamWithoutStartTimes) {
    const std::string raw = testmedia::Path("raw_h264");
    auto v = ExpectShows(raw, QStringLiteral("raw.h264"), QStringLiteral(".h264"));
    // As cut from the description text this would be empty: the line has no start time.
    EXPECT_TRUE(v[U("视频流信息：")].startsWith(QLatin1String("Video: h264")));
    EXPECT_EQ(v[U("视频分辨率：")], QStringLiteral("320*240"));
    EXPECT_EQ(v[U("音频流信息：")], U("无"));
}

TEST_F(InfoWindow, FiveDigitBitRate) {
    // Uncompressed 320x240 pictures at 25 fps: about 23 Mbit/s.
    const std::string path =
        Make("raw.avi",
             "-f lavfi -i testsrc2=size=320x240:rate=25:duration=0.4 -c:v rawvideo -pix_fmt "
             "yuv420p");
    const QString rate =
        ExpectShows(path, QStringLiteral("raw.avi"), QStringLiteral(".avi"))[U("比特率：")];
    EXPECT_EQ(rate.size(), 11) << rate.toStdString();  // " 23xxx kb/s", not cut to 10
    EXPECT_TRUE(rate.endsWith(QLatin1String(" kb/s")));
}

TEST_F(InfoWindow, NotMediaShowsEmptyTextsAndMinusOne) {
    auto v = Show(testmedia::Path("text_mp4"));
    for (const char* caption :
         {"文件名：", "文件格式：", "播放时长：", "文件大小：", "比特率：", "文件格式全名：",
          "文件扩展名：", "视频流信息：", "音频流信息：", "音频声道："})
        EXPECT_EQ(v[U(caption)], QString()) << caption;
    EXPECT_EQ(v[U("视频分辨率：")], QStringLiteral("-1*-1"));
    EXPECT_EQ(v[U("音频采样率：")], QStringLiteral("-1"));
    EXPECT_EQ(v[U("视频比特率：")], QStringLiteral("0  kbps"));
    EXPECT_EQ(v[U("音频比特率：")], QStringLiteral("0  kbps"));
    EXPECT_EQ(v[U("视频帧率：")], QStringLiteral("N/A"));
    EXPECT_EQ(window_.Texts().InfoSampleRate, QStringLiteral("-1"));
    EXPECT_EQ(window_.Texts().InfoWidth, QStringLiteral("-1"));
}

TEST_F(InfoWindow, OnlyRegularFilesAreOpened) {
    const std::string dir = testsupport::ScratchDir("special");
    const std::string fifo = dir + "/pipe.mp4";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    // Earlier texts stay while nothing new is opened.
    ASSERT_TRUE(window_.Load(probe_, Q(testmedia::Path("audio_mp3"))));
    const TMediaInfoTexts before = window_.Texts();
    for (const std::string& path : {fifo, dir, dir + "/missing.mp4", std::string()}) {
        EXPECT_FALSE(window_.ShowFor(probe_, Q(path))) << path;  // returns at once, unshown
        EXPECT_FALSE(window_.isVisible());
    }
    EXPECT_EQ(window_.Texts().InfoFileName, before.InfoFileName);
}

TEST_F(InfoWindow, ShowForRunsTheWindowModallyWithTheSavedSkin) {
    ::setenv("TANDREL_DATA_DIR", TANDREL_SOURCE_RESOURCES, 1);
    ASSERT_TRUE(platform::skins::SaveSkin(QStringLiteral("skin7")));
    QString seenName, seenSheet;
    QTimer::singleShot(0, [&] {
        seenName = window_.Value(U("文件名："))->text();
        seenSheet = window_.styleSheet();
        for (QPushButton* b : window_.findChildren<QPushButton*>())
            if (b->text() == U("确定")) b->click();
    });
    EXPECT_TRUE(window_.ShowFor(probe_, Q(testmedia::Path("wav_pcm"))));
    EXPECT_FALSE(window_.isVisible());
    EXPECT_FALSE(seenName.isEmpty());
    EXPECT_EQ(seenSheet, platform::skins::StyleSheet(*platform::skins::Find("skin7")));
    EXPECT_EQ(window_.windowTitle(), U("视频信息提示"));
    EXPECT_EQ(window_.size(), QSize(650, 455));
}

TEST(InfoLabels, NamesExtensionsAndChannels) {
    TMediaInfoTexts t;
    t.InfoFileName = QStringLiteral("/media/a.b/clip.final.MP3");
    t.InfoDump = QStringLiteral("File Name: /media/a.b/clip.final.MP3\r\n");
    t.InfoChannels = QStringLiteral("1");
    TMediaInfoLabels l = MediaInfoLabels(t);
    EXPECT_EQ(l.FileName, QStringLiteral("clip.final.MP3"));
    EXPECT_EQ(l.Extension, QStringLiteral(".MP3"));
    EXPECT_EQ(l.Channels, U("单声道"));
    EXPECT_EQ(l.VideoStream, U("无"));  // an opened file without video

    t.InfoFileName = QStringLiteral("/media/a.b/noextension");
    t.InfoChannels = QStringLiteral("8");
    l = MediaInfoLabels(t);
    EXPECT_EQ(l.Extension, QString());  // the dot of a folder name does not count
    EXPECT_EQ(l.Channels, U("8声道"));

    t.InfoChannels = QStringLiteral("0");
    EXPECT_EQ(MediaInfoLabels(t).Channels, QString());
    t.InfoChannels = QStringLiteral("-1");
    EXPECT_EQ(MediaInfoLabels(t).Channels, QString());
}
