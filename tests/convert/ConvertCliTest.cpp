// tandrel-cli profiles and convert, driven as a user would: listings, naming,
// several files at once, failures, choices, cut ranges and the JSON events.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CliTestSupport.h"
#include "TestMedia.h"
#include "TestSupport.h"

namespace fs = std::filesystem;
using testmedia::Quote;

namespace {

using Result = testsupport::CommandResult;

using testsupport::Cli;
using clitest::FilesIn;
using clitest::Lines;

double durationOf(const std::string& path) { return clitest::ReferenceOf(path).duration; }

TEST(ProfilesCli, ListsTheEightyProfilesInPickerOrder) {
    const Result r = Cli("profiles");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rows = Lines(r.out);
    ASSERT_EQ(rows.size(), 80u);
    EXPECT_EQ(rows.front(), "300\tMP3格式及常用格式\t标准MP3格式音频\t.mp3");
    EXPECT_EQ(rows.back(), "209\t更多音频格式\tAMR（手机）音频格式\t.amr");
    // The PSP profile names its file ".mp4" (the ".psp.mp4" tag is not the extension).
    EXPECT_NE(std::find(rows.begin(), rows.end(),
                        "4\t更多电脑常用视频格式\tSony(索尼) PSP MP4视频\t.mp4"),
              rows.end());
    QSet<int> indexes;
    for (const auto& row : rows) indexes.insert(std::stoi(row));
    QSet<int> expected;
    for (int i = 300; i <= 325; ++i) expected.insert(i);
    for (int i = 100; i <= 119; ++i) expected.insert(i);
    for (int i = 1; i <= 24; ++i) expected.insert(i);
    for (int i = 200; i <= 209; ++i) expected.insert(i);
    EXPECT_EQ(indexes, expected);
}

TEST(ProfilesCli, JsonHasEveryListAndTheDefaultFields) {
    const Result r = Cli("profiles --json");
    ASSERT_EQ(r.status, 0) << r.err;
    const QJsonArray all = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).array();
    ASSERT_EQ(all.size(), 80);
    QJsonObject amr, psp;
    for (const auto& v : all) {
        const QJsonObject p = v.toObject();
        EXPECT_EQ(p["lists"].toObject().size(), 10) << p["index"].toInt();
        if (p["index"].toInt() == 209) amr = p;
        if (p["index"].toInt() == 4) psp = p;
    }
    const QJsonObject lists = amr["lists"].toObject();
    EXPECT_EQ(lists["samplerate"].toObject()["items"].toArray(), QJsonArray{"8000"});
    EXPECT_EQ(lists["channels"].toObject()["items"].toArray(), QJsonArray{"单声道"});
    EXPECT_EQ(lists["abitrate"].toObject()["list"].toString(), "AB5");
    EXPECT_EQ(lists["abitrate"].toObject()["default"].toInt(), 4);
    EXPECT_EQ(lists["abitrate"].toObject()["defaultText"].toString(), "7.4");
    EXPECT_EQ(amr["defaults"].toObject()["JobAudioBitRate"].toString(), "7400");
    EXPECT_EQ(amr["defaults"].toObject()["JobAudioCodec"].toString(), "libopencore_amrnb");
    EXPECT_TRUE(amr["audioOnly"].toBool());
    EXPECT_EQ(psp["extension"].toString(), ".mp4");
    EXPECT_EQ(psp["extensionTag"].toString(), ".psp.mp4");
}

TEST(ConvertCli, NamesNeverCollideWithTheDiskOrEachOther) {
    const std::string dir = testsupport::ScratchDir("naming");
    fs::create_directories(dir + "/a");
    fs::create_directories(dir + "/b");
    fs::create_directories(dir + "/out");
    fs::copy_file(testmedia::Path("wav_pcm"), dir + "/a/clip.wav");
    fs::copy_file(testmedia::Path("wav_pcm"), dir + "/b/clip.wav");
    testsupport::WriteFile(dir + "/out/clip.mp3", "keep me");
    const std::string sources = Quote(dir + "/a/clip.wav") + " " + Quote(dir + "/b/clip.wav");

    Result r = Cli("convert --progress none --profile 300 --jobs 2 --out " + Quote(dir + "/out") +
                   " " + sources);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(Lines(r.out).back(), "2 passed, 0 failed");
    EXPECT_EQ(FilesIn(dir + "/out"),
              (std::vector<std::string>{"clip(New_1).mp3", "clip(New_2).mp3", "clip.mp3"}));
    EXPECT_EQ(testsupport::ReadFile(dir + "/out/clip.mp3"), "keep me");
    EXPECT_NE(r.out.find("done    " + dir + "/a/clip.wav -> " + dir + "/out/clip(New_1).mp3"),
              std::string::npos)
        << r.out;
    for (const char* name : {"clip(New_1).mp3", "clip(New_2).mp3"})
        EXPECT_NEAR(durationOf(dir + "/out/" + name), 2.0, 0.15) << name;

    // Overwriting: the existing name is reused once; the second file still needs its own.
    fs::remove(dir + "/out/clip(New_1).mp3");
    fs::remove(dir + "/out/clip(New_2).mp3");
    r = Cli("convert --progress none --profile 300 --overwrite --out " + Quote(dir + "/out") + " " +
            sources);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(FilesIn(dir + "/out"), (std::vector<std::string>{"clip(New_1).mp3", "clip.mp3"}));
    EXPECT_NEAR(durationOf(dir + "/out/clip.mp3"), 2.0, 0.15);
}

TEST(ConvertCli, NeverWritesOverItsOwnSource) {
    const std::string dir = testsupport::ScratchDir("self");
    fs::copy_file(testmedia::Path("audio_mp3"), dir + "/song.mp3");
    const std::string before = testsupport::ReadFile(dir + "/song.mp3");
    const Result r = Cli("convert --progress none --profile 300 --overwrite --out " + Quote(dir) +
                         " " + Quote(dir + "/song.mp3"));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(testsupport::ReadFile(dir + "/song.mp3"), before);
    EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"song(New_1).mp3", "song.mp3"}));
}

TEST(ConvertCli, SeveralFilesTakeTheSourceNameAndTheFinalExtension) {
    const std::string dir = testsupport::ScratchDir("several");
    fs::copy_file(testmedia::Path("wav_pcm"), dir + "/a.wav");
    fs::copy_file(testmedia::Path("wav_pcm"), dir + "/b.wav");
    // The DVD profile names a single file a_PAL.mpg, several in one go a.mpg and b.mpg.
    Result r = Cli("convert --progress none --profile 19 --jobs 2 --out " + Quote(dir + "/out") +
                   " " + Quote(dir + "/a.wav") + " " + Quote(dir + "/b.wav"));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(FilesIn(dir + "/out"), (std::vector<std::string>{"a.mpg", "b.mpg"}));
    r = Cli("convert --progress none --profile 19 --out " + Quote(dir + "/out") + " " +
            Quote(dir + "/a.wav"));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(fs::exists(dir + "/out/a_PAL.mpg"));
}

TEST(ConvertCli, AFailedFileIsCountedAndLeavesNoOutput) {
    const std::string dir = testsupport::ScratchDir("failing");
    fs::copy_file(testmedia::Path("text_mp4"), dir + "/text.mp4");
    fs::copy_file(testmedia::Path("wav_pcm"), dir + "/good.wav");
    const Result r = Cli("convert --progress none --profile 300 --jobs 2 --out " +
                         Quote(dir + "/out") + " " + Quote(dir + "/text.mp4") + " " +
                         Quote(dir + "/missing.avi") + " " + Quote(dir + "/good.wav"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Lines(r.out).back(), "1 passed, 2 failed") << r.out;
    EXPECT_NE(
        r.out.find("failed  " + dir + "/text.mp4: 无法识别的音频或视频文件！" + dir + "/text.mp4"),
        std::string::npos)
        << r.out;
    EXPECT_EQ(FilesIn(dir + "/out"), std::vector<std::string>{"good.mp3"});

    // A container that cannot take the chosen audio codec: the task ends with the library's
    // refusal and no file is left behind.
    const Result refused =
        Cli("convert --progress none --profile 13 --set acodec=Flac音频编码器 "
            "--out " +
            Quote(dir + "/swf") + " " + Quote(testmedia::Path("clip2s_640")));
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.out.find("Could not write header for output file #0"), std::string::npos)
        << refused.out;
    EXPECT_TRUE(FilesIn(dir + "/swf").empty());
}

TEST(ConvertCli, AnIncompleteSourceIsConvertedAsFarAsItGoesWithAWarning) {
    const std::string dir = testsupport::ScratchDir("incomplete");
    fs::copy_file(testmedia::Path("mp3_truncated"), dir + "/part.mp3");
    const Result r = Cli("convert --progress none --profile 300 --out " + Quote(dir + "/out") +
                         " " + Quote(dir + "/part.mp3"));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 3u) << r.out;
    EXPECT_EQ(lines[0], "done    " + dir + "/part.mp3 -> " + dir + "/out/part.mp3");
    EXPECT_EQ(lines[1], "warning " + dir +
                            "/part.mp3: what can be read ends at 00:00:01.803, before the "
                            "00:00:03.030 the file states (incomplete or damaged); converted as "
                            "far as it goes");
    EXPECT_EQ(lines[2], "1 passed, 0 failed");
    EXPECT_NEAR(durationOf(dir + "/out/part.mp3"), 1.8, 0.1);
}

TEST(ConvertCli, ChoicesFiltersAndCutReachTheFile) {
    const std::string dir = testsupport::ScratchDir("choices");
    // Profile 1 with the Mjpeg codec: its bit-rate list is replaced, position 0 of the new one.
    const Result r =
        Cli("convert --progress none --profile 1 --set vbitrate=#0 --set 'vcodec=Mjpeg 视频压缩器' "
            "--set samplerate=22050 --set channels=单声道 --filters hflip,negate "
            "--cut 00:00:02-00:00:05 --out " +
            Quote(dir) + " " + Quote(testmedia::Path("clip10s")));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const QJsonObject probe = testsupport::FfprobeJson(dir + "/clip10s.avi");
    const QJsonArray streams = probe["streams"].toArray();
    ASSERT_EQ(streams.size(), 2) << r.out;
    const QJsonObject video = streams[0].toObject(), audio = streams[1].toObject();
    EXPECT_EQ(video["codec_name"].toString(), "mjpeg");
    EXPECT_EQ(video["codec_tag_string"].toString(), "MJPG");
    EXPECT_EQ(video["width"].toInt(), 320);
    EXPECT_EQ(audio["sample_rate"].toString(), "22050");
    EXPECT_EQ(audio["channels"].toInt(), 1);
    EXPECT_NEAR(probe["format"].toObject()["duration"].toString().toDouble(), 3.0, 0.2);
    // 128 kbit/s for 3 s of video: far below the 3000 kbit/s the replaced list would select.
    EXPECT_LT(fs::file_size(dir + "/clip10s.avi"), 800u * 1000u);

    const Result late = Cli("convert --progress none --profile 1 --cut 00:00:02-00:00:11 --out " +
                            Quote(dir + "/late") + " " + Quote(testmedia::Path("clip10s")));
    EXPECT_EQ(late.status, 1);
    EXPECT_NE(late.out.find("截取时间设置错误，不允许停止时间大于时间长度！"), std::string::npos)
        << late.out;
}

TEST(ConvertCli, JsonEventsDescribeEveryFile) {
    const std::string dir = testsupport::ScratchDir("json");
    const std::string wav = testmedia::Path("wav_pcm");
    const Result r = Cli("convert --progress json --profile 206 --out " + Quote(dir) + " " +
                         Quote(wav) + " " + Quote(dir + "/missing.wav"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("1 passed, 1 failed"), std::string::npos) << r.err;
    QJsonObject added, summary;
    std::vector<QJsonObject> ends;
    int progress = 0;
    for (const auto& line : Lines(r.out)) {
        QJsonParseError error;
        const QJsonObject o =
            QJsonDocument::fromJson(QByteArray::fromStdString(line), &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << line;
        const QString event = o["event"].toString();
        if (event == "added") added = o;
        if (event == "end") ends.push_back(o);
        if (event == "summary") summary = o;
        if (event == "progress") {
            ++progress;
            EXPECT_EQ(o["file"].toInt(), 0);
            EXPECT_GE(o["percent"].toDouble(), 0.0);
            EXPECT_LE(o["percent"].toDouble(), 100.0);
        }
    }
    EXPECT_GE(progress, 1);
    EXPECT_EQ(added["output"].toString().toStdString(), dir + "/audio.mp2");
    ASSERT_EQ(ends.size(), 2u);
    // The missing file is refused while being added, the other ends with its conversion.
    EXPECT_EQ(ends[0]["file"].toInt(), 1);
    EXPECT_FALSE(ends[0]["finished"].toBool());
    EXPECT_FALSE(ends[0]["error"].toString().isEmpty());
    EXPECT_EQ(ends[1]["file"].toInt(), 0);
    EXPECT_TRUE(ends[1]["finished"].toBool());
    EXPECT_EQ(summary["passed"].toInt(), 1);
    EXPECT_EQ(summary["failed"].toInt(), 1);
    EXPECT_NEAR(durationOf(dir + "/audio.mp2"), 2.0, 0.15);
}

}  // namespace
