// tandrel-cli probe, driven as a user would: text, JSON and failures.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <string>

#include <gtest/gtest.h>

#include "ProbeTestUtil.h"
#include "TestMedia.h"
#include "TestSupport.h"

namespace {

using testmedia::Quote;

using Result = testsupport::CommandResult;

using testsupport::Cli;

TEST(ProbeCli, PrintsTheDescriptionTextOfEachFile) {
    const std::string mp4 = testmedia::Path("mp4_h264_aac");
    const std::string mp3 = testmedia::Path("mp3_tags");
    const Result r = Cli("probe " + Quote(mp4) + " " + Quote(mp3));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.rfind("File Name: " + mp4 + "\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\n\nFile Name: " + mp3 + "\nFormat Name: mp3\n"), std::string::npos);
    EXPECT_NE(r.out.find("\nStream #0, 1/14112000: Audio: mp3, 44100 Hz, stereo, fltp, 128 kb/s"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find('\r'), std::string::npos);
}

TEST(ProbeCli, JsonFactsEqualTheReference) {
    const std::string mkv = testmedia::Path("mkv_51");
    const std::string ts = testmedia::Path("ts_mpeg2");
    const Result r = Cli("probe --json " + Quote(mkv) + " " + Quote(ts));
    ASSERT_EQ(r.status, 0) << r.err;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(r.out), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << r.out;
    const QJsonArray files = doc.array();
    ASSERT_EQ(files.size(), 2);
    for (int f = 0; f < 2; ++f) {
        const QJsonObject ours = files[f].toObject();
        const std::string path = f == 0 ? mkv : ts;
        SCOPED_TRACE(path);
        const QJsonObject ref = probetest::ReferenceFacts(path);
        const QJsonObject format = ref["format"].toObject();
        EXPECT_EQ(ours["file"].toString().toStdString(), path);
        EXPECT_EQ(ours["format_name"].toString(), format["format_name"].toString());
        EXPECT_EQ(ours["format_long_name"].toString(), format["format_long_name"].toString());
        EXPECT_EQ(ours["size"].toInteger(), format["size"].toString().toLongLong());
        EXPECT_EQ(ours["duration"].toInteger(),
                  probetest::SecondsToMicro(format["duration"].toString()));
        EXPECT_EQ(ours["start"].toInteger(),
                  probetest::SecondsToMicro(format["start_time"].toString()));
        EXPECT_EQ(ours["bit_rate"].toInteger(), format["bit_rate"].toString().toLongLong());
        EXPECT_EQ(ours["tags"].toObject(), format["tags"].toObject());
        const QJsonArray streams = ours["streams"].toArray();
        const QJsonArray refStreams = ref["streams"].toArray();
        ASSERT_EQ(streams.size(), refStreams.size());
        for (int i = 0; i < streams.size(); ++i) {
            const QJsonObject s = streams[i].toObject(), t = refStreams[i].toObject();
            EXPECT_EQ(s["index"].toInt(), t["index"].toInt());
            EXPECT_EQ(s["kind"].toString(), t["codec_type"].toString());
            EXPECT_EQ(s["codec_name"].toString(), t["codec_name"].toString());
            EXPECT_EQ(s["codec_tag"].toString(), t["codec_tag"].toString());
            EXPECT_EQ(s["language"].toString(), t["tags"].toObject()["language"].toString());
            EXPECT_EQ(s["start"].toInteger(),
                      probetest::SecondsToMicro(t["start_time"].toString()));
            if (t["codec_type"] == "video") {
                EXPECT_EQ(s["width"].toInt(), t["width"].toInt());
                EXPECT_EQ(s["height"].toInt(), t["height"].toInt());
                EXPECT_EQ(s["pixel_format"].toString(), t["pix_fmt"].toString());
                EXPECT_EQ(QString("%1/%2")
                              .arg(s["frame_rate_num"].toInt())
                              .arg(s["frame_rate_den"].toInt()),
                          t["r_frame_rate"].toString());
                EXPECT_EQ(s["sample_rate"].toInt(), -1);
            } else {
                EXPECT_EQ(s["sample_rate"].toInt(), t["sample_rate"].toString().toInt());
                EXPECT_EQ(s["channels"].toInt(), t["channels"].toInt());
                EXPECT_EQ(s["sample_format"].toString(), t["sample_fmt"].toString());
                EXPECT_EQ(s["width"].toInt(), -1);
            }
        }
    }
}

TEST(ProbeCli, FailedFilesGoToStandardErrorAndTheRestGoesOn) {
    const std::string missing = testsupport::ScratchDir("cli-missing") + "/gone.avi";
    const std::string broken = testmedia::Path("text_mp4");
    const std::string good = testmedia::Path("wav_pcm");
    const Result r = Cli("probe " + Quote(missing) + " " + Quote(broken) + " " + Quote(good));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, missing + ": No such file or directory\n" + broken +
                         ": Invalid data found when processing input\n");
    EXPECT_EQ(r.out.rfind("File Name: " + good + "\n", 0), 0u) << r.out;

    const Result json = Cli("probe --json " + Quote(missing) + " " + Quote(good));
    EXPECT_EQ(json.status, 1);
    EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(json.out)).array().size(), 1);
}

}  // namespace
