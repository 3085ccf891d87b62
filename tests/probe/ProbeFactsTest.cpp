// The probe's facts and stream texts against the reference tool, clip by clip.
#include <QJsonArray>
#include <QJsonObject>

#include <gtest/gtest.h>

#include "ProbeTestUtil.h"
#include "TestMedia.h"
#include "TestSupport.h"
#include "engine/UnicodeProtocol.h"
#include "medialib/LibAV.h"
#include "probe/AVProbe.h"

namespace {

using probetest::ReferenceFacts;
using probetest::SecondsToMicro;

class ProbeFacts : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        testsupport::LoadLibrariesOrFail();
        path_ = testmedia::Path(GetParam());
        ASSERT_FALSE(path_.empty());
        ASSERT_TRUE(probe_.LoadFile(QString::fromStdString(path_))) << probe_.LastErrorMessage();
        ref_ = ReferenceFacts(path_);
        ASSERT_FALSE(ref_.isEmpty()) << "ffprobe could not read " << path_;
    }
    std::string path_;
    TAVProbe probe_;
    QJsonObject ref_;
};

TEST_P(ProbeFacts, ContainerFactsEqualTheReference) {
    const QJsonObject format = ref_["format"].toObject();
    EXPECT_EQ(probe_.FileName().toStdString(), path_);
    EXPECT_EQ(probe_.FormatShortName(), format["format_name"].toString().toStdString());
    EXPECT_EQ(probe_.FormatLongName(), format["format_long_name"].toString().toStdString());
    EXPECT_EQ(probe_.FileSize(), format["size"].toString().toLongLong());
    EXPECT_EQ(probe_.StreamCount(), format["nb_streams"].toInt());
    EXPECT_EQ(probe_.ProgramCount(), format["nb_programs"].toInt());

    TFileStreamInfo info;
    ASSERT_TRUE(probe_.GetFileInfo(&info));
    EXPECT_EQ(info.Duration, SecondsToMicro(format["duration"].toString()));
    EXPECT_EQ(info.StartTime, SecondsToMicro(format["start_time"].toString()));
    // The tool leaves out an unknown bit rate; the probe reads 0 then.
    EXPECT_EQ(info.BitRate, format["bit_rate"].toString().toLongLong());
}

TEST_P(ProbeFacts, StreamCountsAndFirstIndexesEqualTheReference) {
    int audio = 0, video = 0, subtitle = 0;
    int firstAudio = -1, firstVideo = -1, firstSubtitle = -1;
    for (const QJsonValue& v : ref_["streams"].toArray()) {
        const QJsonObject s = v.toObject();
        const QString type = s["codec_type"].toString();
        const int index = s["index"].toInt();
        if (type == "video" && s["disposition"].toObject()["attached_pic"].toInt() == 0) {
            if (video++ == 0) firstVideo = index;
        } else if (type == "audio") {
            if (audio++ == 0) firstAudio = index;
        } else if (type == "subtitle") {
            if (subtitle++ == 0) firstSubtitle = index;
        }
    }
    EXPECT_EQ(probe_.AudioStreamCount(), audio);
    EXPECT_EQ(probe_.VideoStreamCount(), video);
    EXPECT_EQ(probe_.SubtitleStreamCount(), subtitle);
    EXPECT_EQ(probe_.FirstAudioStream(), firstAudio);
    EXPECT_EQ(probe_.FirstVideoStream(), firstVideo);
    EXPECT_EQ(probe_.FirstSubtitleStream(), firstSubtitle);
}

TEST_P(ProbeFacts, StreamRecordsEqualTheReference) {
    for (const QJsonValue& v : ref_["streams"].toArray()) {
        const QJsonObject s = v.toObject();
        const int index = s["index"].toInt();
        SCOPED_TRACE(::testing::Message() << "stream " << index);
        const QString type = s["codec_type"].toString();
        const std::string language = s["tags"].toObject()["language"].toString().toStdString();
        const int64_t start = SecondsToMicro(s["start_time"].toString());
        const int64_t duration = SecondsToMicro(s["duration"].toString());
        const int64_t bitRate = s["bit_rate"].toString().toLongLong();
        // The record names the decoder ("mp3float" for mp3), so the tool's codec name leads it.
        const std::string codec = s["codec_name"].toString().toStdString();
        if (type == "video") {
            TVideoStreamInfo info;
            ASSERT_TRUE(probe_.GetVideoStreamInfo(index, &info)) << probe_.LastErrorMessage();
            EXPECT_EQ(info.Width, s["width"].toInt());
            EXPECT_EQ(info.Height, s["height"].toInt());
            EXPECT_EQ(QString("%1/%2").arg(info.FrameRateNum).arg(info.FrameRateDen),
                      s["r_frame_rate"].toString());
            EXPECT_EQ(info.Language, language);
            EXPECT_EQ(info.StartTime, start);
            EXPECT_EQ(info.Duration, duration);
            EXPECT_EQ(info.BitRate, bitRate);
            EXPECT_EQ(info.CodecName.rfind(codec, 0), 0u) << info.CodecName;
        } else if (type == "audio") {
            TAudioStreamInfo info;
            ASSERT_TRUE(probe_.GetAudioStreamInfo(index, &info)) << probe_.LastErrorMessage();
            EXPECT_EQ(info.SampleRate, s["sample_rate"].toString().toInt());
            EXPECT_EQ(info.Channels, s["channels"].toInt());
            EXPECT_EQ(info.Language, language);
            EXPECT_EQ(info.StartTime, start);
            EXPECT_EQ(info.Duration, duration);
            EXPECT_EQ(info.BitRate, bitRate);
            EXPECT_EQ(info.CodecName.rfind(codec, 0), 0u) << info.CodecName;
        }
    }
}

TEST_P(ProbeFacts, StreamTextsEqualTheReferenceDump) {
    const std::vector<std::string> ours = probetest::ProbeStreamTexts(probe_.InfoText());
    const std::vector<std::string> theirs = probetest::ReferenceStreamTexts(path_);
    ASSERT_EQ(ours.size(), static_cast<size_t>(probe_.StreamCount()));
    // Programs may list streams out of index order in both dumps alike.
    EXPECT_EQ(ours, theirs);
}

INSTANTIATE_TEST_SUITE_P(Clips, ProbeFacts,
                         ::testing::Values("mp4_h264_aac", "avi_mpeg4_mp3", "audio_mp3", "mp3_tags",
                                           "ts_mpeg2", "avi_sar", "raw_h264", "mkv_51",
                                           "m4a_created", "mp3_cover", "webm_opus", "wav_pcm",
                                           "odd_321x241", "vfr", "nonascii", "mp3_truncated",
                                           "ts_truncated"));

// What the fixtures were made with, read back through the probe's own records and text.
class ProbeClip : public ::testing::Test {
protected:
    void SetUp() override { testsupport::LoadLibrariesOrFail(); }
    void load(const char* id) {
        path_ = testmedia::Path(id);
        ASSERT_TRUE(probe_.LoadFile(QString::fromStdString(path_))) << probe_.LastErrorMessage();
        text_ = probe_.InfoText();
    }
    std::string path_, text_;
    TAVProbe probe_;
};

TEST_F(ProbeClip, Mp3TagsFillTheFileRecord) {
    load("mp3_tags");
    TFileStreamInfo info;
    ASSERT_TRUE(probe_.GetFileInfo(&info));
    EXPECT_EQ(info.Title, "Tone");
    EXPECT_EQ(info.Author, "Tandrel");  // written as "artist"
    EXPECT_EQ(info.Album, "Fixtures");
    EXPECT_EQ(info.Genre, "Test");
    EXPECT_EQ(info.Comment, "Probe");
    EXPECT_EQ(info.Rights, "Nobody");
    EXPECT_EQ(info.Year, 2019);
    EXPECT_EQ(info.Track, 3);
    EXPECT_EQ(info.Timestamp, 0);
    EXPECT_EQ(probe_.VideoStreamCount(), 0);
    EXPECT_NE(text_.find("\r\n  artist          : Tandrel\r\n"), std::string::npos) << text_;
}

TEST_F(ProbeClip, TransportStreamShowsItsProgramAndStreamIds) {
    load("ts_mpeg2");
    EXPECT_EQ(probetest::LineStartingWith(text_, "Program "), "Program 1 Tandrel@Probe");
    EXPECT_NE(text_.find("\r\nStream #0[0x100], 1/90000: Video: mpeg2video"), std::string::npos)
        << text_;
    EXPECT_NE(text_.find(", 29.97 fps, 29.97 tbr, 90k tbn, StartTime: "), std::string::npos);
    EXPECT_EQ(text_.find("tbc"), std::string::npos);
    EXPECT_NE(text_.find("\r\nStream #1[0x101](eng), 1/90000: Audio: mp2"), std::string::npos);
    TVideoStreamInfo video;
    ASSERT_TRUE(probe_.GetVideoStreamInfo(-1, &video));
    EXPECT_EQ(video.FrameRateNum, 30000);
    EXPECT_EQ(video.FrameRateDen, 1001);
    EXPECT_FLOAT_EQ(video.DisplayAspect, 320.0f / 240.0f);
}

TEST_F(ProbeClip, SampleAspectRatioGivesTheDisplayAspect) {
    load("avi_sar");
    TVideoStreamInfo video;
    ASSERT_TRUE(probe_.GetVideoStreamInfo(-1, &video));
    EXPECT_NEAR(video.DisplayAspect, 16.0 / 15.0 * 320.0 / 240.0, 1e-6);
    EXPECT_NE(text_.find("[SAR 16:15 DAR 64:45]"), std::string::npos) << text_;
}

TEST_F(ProbeClip, RawStreamHasNoDurationAndNoBitRate) {
    load("raw_h264");
    EXPECT_NE(text_.find("\r\nDuration: N/A\r\n"), std::string::npos) << text_;
    EXPECT_NE(text_.find("\r\nBit Rate: N/A\r\n"), std::string::npos);
    EXPECT_NE(text_.find(", 1200k tbn, Duration: N/A\r\n"), std::string::npos);
    // Its size comes from the file, not from an error code.
    EXPECT_EQ(probe_.FileSize(), testsupport::ReadFile(path_).size());
}

TEST_F(ProbeClip, CreationTimeIsTheTimeStampInLocalTime) {
    // In June Central European time is on summer time, UTC+2: the clock time a user sets as an
    // output's time stamp (OutputRecord.MetadataTimestamp) and reads on a wall clock that day.
    const testsupport::ScopedTimeZone cet(testsupport::kCentralEuropeanTime);
    load("m4a_created");
    TFileStreamInfo info;
    ASSERT_TRUE(probe_.GetFileInfo(&info));
    EXPECT_EQ(info.Timestamp, 1623760496);  // 2021-06-15T12:34:56Z
    EXPECT_EQ(probetest::LineStartingWith(text_, "Time Stamp: "),
              "Time Stamp: 2021-06-15 14:34:56");
}

TEST_F(ProbeClip, CoverArtIsNotAVideoStream) {
    load("mp3_cover");
    EXPECT_EQ(probe_.StreamCount(), 2);
    EXPECT_EQ(probe_.VideoStreamCount(), 0);
    EXPECT_EQ(probe_.FirstVideoStream(), -1);
    EXPECT_EQ(probe_.AudioStreamCount(), 1);
    TVideoStreamInfo video;
    EXPECT_FALSE(probe_.GetVideoStreamInfo(-1, &video));
    EXPECT_EQ(probe_.LastErrorMessage(), "no video stream.");
    EXPECT_EQ(video.Width, -1);
    EXPECT_EQ(video.Height, -1);
    // Asked for by index, the picture's facts are still there.
    ASSERT_TRUE(probe_.GetVideoStreamInfo(1, &video));
    EXPECT_EQ(video.Width, 64);
}

TEST_F(ProbeClip, NegativeStartIsSignedSeconds) {
    load("webm_opus");
    TFileStreamInfo info;
    ASSERT_TRUE(probe_.GetFileInfo(&info));
    EXPECT_EQ(info.StartTime, -7000);
    // The file line is left out for a negative start; the stream line keeps the sign in front.
    EXPECT_EQ(probetest::LineStartingWith(text_, "StartTime: "), "");
    EXPECT_NE(text_.find(", StartTime: -0.007000, Duration: "), std::string::npos) << text_;
}

TEST_F(ProbeClip, NameOutsideTheCodePageReadsBackAsAPlainPath) {
    // A code page without the name's characters: the library gets the "unicode:utf8:" form.
    SetCodePage({[](const QString& name, QByteArray* out) {
                     *out = name.toLatin1();
                     return QString::fromLatin1(*out) == name;
                 },
                 [](const QByteArray& bytes) { return QString::fromLatin1(bytes); }});
    load("nonascii");
    SetCodePage({});
    EXPECT_EQ(std::string(probe_.Context()->url).rfind(kUnicodePrefix, 0), 0u);
    EXPECT_EQ(probe_.FileName(), QString::fromStdString(path_));
    EXPECT_EQ(probetest::LineStartingWith(text_, "File Name: "), "File Name: " + path_);
    EXPECT_EQ(probe_.FileSize(), static_cast<int64_t>(testsupport::ReadFile(path_).size()));
}

TEST_F(ProbeClip, FiveOneSoundHasSixChannels) {
    load("mkv_51");
    TAudioStreamInfo audio;
    ASSERT_TRUE(probe_.GetAudioStreamInfo(-1, &audio));
    EXPECT_EQ(audio.Channels, 6);
    EXPECT_EQ(audio.SampleRate, 48000);
    EXPECT_EQ(audio.SampleFormat, AV_SAMPLE_FMT_FLTP);
}

}  // namespace
