#include <sys/stat.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "MediaAnalysis.h"
#include "TestMedia.h"
#include "TestSupport.h"
#include "engine/CommandLine.h"
#include "engine/FFmpeg.h"
#include "engine/MainThread.h"

namespace fs = std::filesystem;

namespace {

struct Outcome {
    CommandLineResult built = CommandLineResult::Failed;
    std::string buildMessage;
    bool finished = false;
    bool hasError = false;
    std::string error;
    std::vector<TProgressInfo> progress;
    std::vector<int64_t> progressTimes;  // µs, when each report arrived
};

class Transcode : public ::testing::Test {
protected:
    void SetUp() override {
        mainthread::SetUiThread();
        testsupport::LoadLibrariesOrFail();
        dir = testsupport::ScratchDir("transcode");
    }
    // Builds a task from a command line and runs it on this thread; with `stopAt` (µs of media
    // time) the first report at or past that time asks the task to stop.
    Outcome run(const std::vector<std::string>& words, bool join = false, int64_t interval = 500000,
                int64_t stopAt = -1) {
        Outcome r;
        TCustomFFmpeg task;
        task.SetOption("v", "-1");
        r.built = ApplyCommandLine(task, words, join, &r.buildMessage);
        if (r.built != CommandLineResult::Ok) return r;
        task.SetProgressInterval(interval);
        task.SetOnProgress([&](TCustomFFmpeg& t, const TProgressInfo& p) {
            r.progress.push_back(p);
            r.progressTimes.push_back(lav::av_gettime_relative());
            if (stopAt >= 0 && p.CurrentDuration >= stopAt) t.RequestStop();
        });
        task.RunConversion();
        r.finished = task.Finished();
        r.hasError = task.HasError();
        r.error = task.ErrorMessage();
        EXPECT_EQ(task.OpenCodecCount(), 0) << "every codec is closed after the run";
        return r;
    }
    QJsonObject facts(const std::string& path) { return testsupport::FfprobeJson(path); }
    QJsonObject stream(const std::string& path, const QString& type) {
        for (const auto& s : facts(path)["streams"].toArray())
            if (s.toObject()["codec_type"].toString() == type) return s.toObject();
        return {};
    }
    std::string out(const std::string& name) { return dir + "/" + name; }

    std::string dir;
};

double number(const QJsonValue& v) { return v.toString().toDouble(); }

}  // namespace

TEST_F(Transcode, DurationAndFrameCountAreKept) {
    for (const char* name : {"o.mp4", "o.avi"}) {
        const std::string o = out(name);
        const bool mp4 = std::string(name) == "o.mp4";
        Outcome r = run({"-i", testmedia::Path("clip10s"), "-vcodec", mp4 ? "libx264" : "mpeg4",
                         "-vpre", mp4 ? "ultrafast" : "", "-acodec", mp4 ? "aac" : "libmp3lame",
                         o});
        ASSERT_EQ(r.built, CommandLineResult::Ok) << r.buildMessage;
        ASSERT_TRUE(r.finished) << r.error;
        const QJsonObject v = stream(o, "video"), a = stream(o, "audio");
        std::string probe;
        testsupport::Run("ffprobe -v error -count_frames -select_streams v -show_entries "
                         "stream=nb_read_frames -of csv=p=0 " + testmedia::Quote(o), &probe);
        EXPECT_NEAR(std::stoi(probe), 250, 1) << name;
        EXPECT_NEAR(number(facts(o)["format"].toObject()["duration"]), 10.0, 0.1) << name;
        // Audio: the source's 10 s plus at most one encoder frame and the encoder's priming.
        const double audio = number(a["duration"]);
        EXPECT_GE(audio, 9.98) << name;
        EXPECT_LE(audio, 10.0 + 2 * 1152.0 / 44100 + 0.03) << name;
        EXPECT_EQ(v["width"].toInt(), 320);
    }
}

TEST_F(Transcode, PictureAndSoundStayTogether) {
    for (const char* source : {"sync_markers", "sync_gap"}) {
        const std::string o = out(std::string(source) + ".mp4");
        Outcome r = run({"-i", testmedia::Path(source), "-vcodec", "mpeg4", "-qscale", "2",
                         "-acodec", "aac", o});
        ASSERT_TRUE(r.finished) << r.error;
        const auto flashes = analysis::FlashTimes(analysis::Pictures(o));
        const auto beeps = analysis::BeepTimes(analysis::FirstChannel(o));
        ASSERT_EQ(flashes.size(), 3u) << source;
        ASSERT_EQ(beeps.size(), 3u) << source;
        for (size_t i = 0; i < 3; ++i) {
            EXPECT_NEAR(flashes[i], 1.0 + 4.0 * static_cast<double>(i), 0.05) << source;
            EXPECT_LE(std::fabs(flashes[i] - beeps[i]), 0.060) << source << " marker " << i;
        }
        const double drift = (flashes[2] - beeps[2]) - (flashes[0] - beeps[0]);
        EXPECT_LE(std::fabs(drift), 0.020) << source;
        // A constant-rate container fills the half-second gap with repeated pictures.
        std::string frames;
        testsupport::Run("ffprobe -v error -count_frames -select_streams v -show_entries "
                         "stream=nb_read_frames -of csv=p=0 " + testmedia::Quote(o), &frames);
        EXPECT_NEAR(std::stoi(frames), 250, 1) << source;
    }
}

TEST_F(Transcode, CutStartsAtTheRightPictureAndLastsTheRightTime) {
    const std::string o = out("cut.avi");
    Outcome r = run({"-ss", "3", "-i", testmedia::Path("ramp10s"), "-t", "4", "-vcodec", "mpeg4",
                     "-qscale", "2", "-acodec", "libmp3lame", o});
    ASSERT_TRUE(r.finished) << r.error;
    EXPECT_NEAR(number(facts(o)["format"].toObject()["duration"]), 4.0, 0.1);
    const auto pictures = analysis::Pictures(o);
    ASSERT_FALSE(pictures.empty());
    // Luma is 16 + 20 t: the first picture tells the source time it came from.
    const double sourceTime = (pictures.front().meanY - 16) / 20;
    EXPECT_NEAR(sourceTime, 3.0, 0.041);
    EXPECT_NEAR(static_cast<double>(pictures.size()), 100, 1);
}

TEST_F(Transcode, JoinedInputsOfDifferentSizesMakeOneContinuousFile) {
    const std::string o = out("joined.mp4");
    Outcome r = run({"-i", testmedia::Path("clip10s"), "-i", testmedia::Path("clip10s_640"),
                     "-vcodec", "libx264", "-vpre", "ultrafast", "-acodec", "aac", o},
                    true);
    ASSERT_EQ(r.built, CommandLineResult::Ok) << r.buildMessage;
    ASSERT_TRUE(r.finished) << r.error;
    EXPECT_FALSE(r.hasError);
    EXPECT_NEAR(number(facts(o)["format"].toObject()["duration"]), 20.0, 0.15);
    for (const char* kind : {"v", "a"}) {
        std::string text;
        testsupport::Run(std::string("ffprobe -v error -select_streams ") + kind +
                             " -show_entries packet=dts -of csv=p=0 " + testmedia::Quote(o),
                         &text);
        std::istringstream in(text);
        long long previous = LLONG_MIN, count = 0;
        bool increasing = true;
        for (std::string line; std::getline(in, line);) {
            if (line.empty() || line == "N/A") continue;
            const long long dts = std::stoll(line);
            increasing &= dts > previous;
            previous = dts;
            ++count;
        }
        EXPECT_TRUE(increasing) << kind;
        if (std::string(kind) == "v") {
            EXPECT_NEAR(count, 500, 2);
        }
    }
    // Every picture has the encoder's size: that of the input opened last.
    for (const auto& p : analysis::Pictures(o)) {
        ASSERT_EQ(p.width, 640);
        ASSERT_EQ(p.height, 360);
    }
}

TEST_F(Transcode, ProgressReportsAreSpacedAndEndWithTheFinalOne) {
    // Read at the media's own pace, the first second of media takes a second however fast the
    // machine: about ten reports 100 ms apart, then the final one after the stop.
    Outcome paced = run({"-re", "-i", testmedia::Path("clip10s"), "-vcodec", "mpeg4", "-acodec",
                         "libmp3lame", out("paced.avi")},
                        false, 100000, 1000000);
    EXPECT_FALSE(paced.finished);
    EXPECT_FALSE(paced.hasError) << paced.error;
    ASSERT_GE(paced.progress.size(), 5u);
    for (size_t i = 1; i + 1 < paced.progress.size(); ++i)
        EXPECT_GE(paced.progressTimes[i] - paced.progressTimes[i - 1], 100000 - 2000) << i;
    EXPECT_EQ(paced.progress.back().FileIndex, -1);
    EXPECT_GE(paced.progress.back().CurrentDuration, 1000000);
    EXPECT_LT(paced.progress.back().CurrentDuration, 2000000);

    Outcome r = run({"-i", testmedia::Path("clip10s"), "-vcodec", "mpeg4", "-acodec",
                     "libmp3lame", out("p.avi")},
                    false, 100000);
    ASSERT_TRUE(r.finished) << r.error;
    ASSERT_FALSE(r.progress.empty());
    int64_t last = 0;
    for (const TProgressInfo& p : r.progress) {
        EXPECT_GE(p.CurrentDuration, last);  // never goes back
        last = p.CurrentDuration;
        EXPECT_LE(p.CurrentDuration, p.TotalDuration + 100000);
        EXPECT_NEAR(static_cast<double>(p.TotalDuration), 10e6, 1e5);
    }
    EXPECT_EQ(r.progress.back().FileIndex, -1);
    EXPECT_NEAR(static_cast<double>(r.progress.back().CurrentDuration), 10e6, 2e5);
    EXPECT_GT(r.progress.back().FrameNumber, 240);

    // Audio only: no frame numbers.
    Outcome a = run({"-i", testmedia::Path("audio_mp3"), out("a.wav")}, false, 100000);
    ASSERT_TRUE(a.finished) << a.error;
    ASSERT_FALSE(a.progress.empty());
    for (const TProgressInfo& p : a.progress) {
        EXPECT_EQ(p.FrameNumber, -1);
        EXPECT_EQ(p.FPS, -1);
    }
}

TEST_F(Transcode, StoppedConversionEndsUnfinishedWithAPlayableFile) {
    // A report after every packet; the stop is asked for at 3 s of media.
    Outcome r = run({"-i", testmedia::Path("clip10s"), "-vcodec", "mpeg4", "-acodec", "libmp3lame",
                     out("stop.avi")},
                    false, 0, 3000000);
    EXPECT_FALSE(r.finished);
    EXPECT_FALSE(r.hasError) << r.error;
    ASSERT_FALSE(r.progress.empty());
    const double d = number(facts(out("stop.avi"))["format"].toObject()["duration"]);
    EXPECT_NEAR(d, 3.0, 0.3);
    EXPECT_NEAR(static_cast<double>(analysis::Pictures(out("stop.avi")).size()), 75, 8);
}

TEST_F(Transcode, StreamCopyKeepsThePacketsAndRunsBitstreamFilters) {
    const std::string src = testmedia::Path("mp4_h264_aac");
    const std::string o = out("copy.ts");
    Outcome r = run({"-i", src, "-vcodec", "copy", "-vbsf", "h264_mp4toannexb", "-acodec",
                     "copy", o});
    ASSERT_EQ(r.built, CommandLineResult::Ok) << r.buildMessage;
    ASSERT_TRUE(r.finished) << r.error;
    EXPECT_EQ(stream(o, "video")["codec_name"].toString(), "h264");
    EXPECT_EQ(stream(o, "audio")["codec_name"].toString(), "aac");
    std::string in, copied;
    const std::string count = "ffprobe -v error -select_streams v -count_packets -show_entries "
                              "stream=nb_read_packets -of csv=p=0 ";
    testsupport::Run(count + testmedia::Quote(src), &in);
    testsupport::Run(count + testmedia::Quote(o), &copied);
    EXPECT_EQ(std::stoi(copied), std::stoi(in));
    EXPECT_EQ(analysis::Pictures(o).size(), 50u);  // every picture decodes
}

TEST_F(Transcode, TwoPassEncodingWritesAndReadsItsLog) {
    const std::string src = testmedia::Path("clip10s");
    const std::string prefix = dir + "/stats";
    Outcome first = run({"-i", src, "-an", "-vcodec", "mpeg4", "-b", "300k", "-pass", "1",
                         "-passlogfile", prefix, out("pass1.avi")});
    ASSERT_TRUE(first.finished) << first.error;
    ASSERT_GT(fs::file_size(prefix + "-0.log"), 100u);
    Outcome second = run({"-i", src, "-an", "-vcodec", "mpeg4", "-b", "300k", "-pass", "2",
                          "-passlogfile", prefix, out("pass2.avi")});
    ASSERT_TRUE(second.finished) << second.error;
    const double rate = number(facts(out("pass2.avi"))["format"].toObject()["bit_rate"]);
    EXPECT_NEAR(rate, 300000, 90000);
    Outcome missing = run({"-i", src, "-an", "-vcodec", "mpeg4", "-pass", "2", "-passlogfile",
                           dir + "/nolog", out("pass2b.avi")});
    EXPECT_TRUE(missing.hasError);
    EXPECT_EQ(missing.error, "Cannot read file: Error reading log file \"" + dir +
                                 "/nolog-0.log\" for pass-2 encoding");
    EXPECT_FALSE(fs::exists(out("pass2b.avi")));
}

TEST_F(Transcode, StoppedBeforeTheFirstPictureReportsNothing) {
    TCustomFFmpeg task;
    std::string message;
    ASSERT_EQ(ApplyCommandLine(task, {"-i", testmedia::Path("clip10s"), out("early.avi")}, false,
                               &message),
              CommandLineResult::Ok)
        << message;
    int reports = 0;
    task.SetOnProgress([&](TCustomFFmpeg&, const TProgressInfo&) { ++reports; });
    task.RequestStop();
    task.RunConversion();
    EXPECT_FALSE(task.Finished());
    EXPECT_FALSE(task.HasError()) << task.ErrorMessage();
    EXPECT_EQ(reports, 0);
    EXPECT_EQ(task.OpenCodecCount(), 0);
}

TEST_F(Transcode, RefusedSetUpsSayWhyAndLeaveNoFile) {
    const std::string src = testmedia::Path("avi_mpeg4_mp3");
    Outcome r = run({"-i", src, "-vcodec", "nosuch", out("x.avi")});
    EXPECT_EQ(r.buildMessage, "new_video_stream fail: Unknown encoder 'nosuch'");
    r = run({"-i", src, "-acodec", "mpeg4", out("x.avi")});
    EXPECT_EQ(r.buildMessage, "new_audio_stream fail: Invalid encoder type 'mpeg4'");
    r = run({"-i", src, "-f", "nosuchformat", out("x.avi")});
    EXPECT_EQ(r.buildMessage,
              "Requested output format 'nosuchformat' is not a suitable output format");
    r = run({"-i", src, out("x.nosuchext")});
    EXPECT_EQ(r.buildMessage,
              "Unable to find a suitable output format for '" + out("x.nosuchext") + "'");
    r = run({"-i", src, out("missing-folder/x.avi")});
    EXPECT_EQ(r.buildMessage, out("missing-folder/x.avi") + ": No such file or directory");
    // Audio-only input into a video-only container: no stream at all.
    r = run({"-i", testmedia::Path("audio_mp3"), "-f", "rawvideo", out("x.yuv")});
    ASSERT_EQ(r.built, CommandLineResult::Ok) << r.buildMessage;
    EXPECT_TRUE(r.hasError);
    EXPECT_EQ(r.error,
              "Output file #0 does not contain any stream: the source has no picture "
              "for this video-only format");
    // Pictures without sound into a sound-only container: the missing sound is named.
    r = run({"-i", testmedia::Path("intra25"), out("x.mp3")});
    ASSERT_EQ(r.built, CommandLineResult::Ok) << r.buildMessage;
    EXPECT_EQ(r.error,
              "Output file #0 does not contain any stream: the source has no sound for "
              "this sound-only format");
    EXPECT_FALSE(fs::exists(out("x.mp3")));
    r = run({"-i", src, "-acodec", "copy", "-vol", "512", out("vol.avi")});
    ASSERT_EQ(r.built, CommandLineResult::Ok) << r.buildMessage;
    EXPECT_EQ(r.error, "-acodec copy and -vol are incompatible (frames are not decoded)");
    EXPECT_FALSE(fs::exists(out("vol.avi")));
    // An encoder that refuses its parameters (MPEG-1 knows no 3 pictures a second, and the
    // ffmpeg program refuses it too) fails the start and leaves nothing behind.
    std::string reason;
    EXPECT_FALSE(testmedia::RunFfmpeg(
        "-i " + testmedia::Quote(src) + " -c:v mpeg1video -r 3 -f null -", &reason));
    r = run({"-i", src, "-vcodec", "mpeg1video", "-r", "3", out("bad.mpg")});
    ASSERT_EQ(r.built, CommandLineResult::Ok) << r.buildMessage;
    EXPECT_FALSE(r.finished);
    EXPECT_TRUE(r.hasError);
    EXPECT_EQ(r.error,
              "Error while opening encoder for output stream #0.0 (Video) - maybe incorrect "
              "parameters such as bit_rate, rate, width or height. Please check error log "
              "message to find out more detail information.");
    EXPECT_FALSE(fs::exists(out("bad.mpg")));
    EXPECT_FALSE(fs::exists(out("x.avi")));
    EXPECT_FALSE(fs::exists(out("x.yuv")));
}

TEST_F(Transcode, NothingChangesOnDiskUntilTheConversionStarts) {
    const std::string src = testmedia::Path("avi_mpeg4_mp3");
    const std::string before = testsupport::ReadFile(src);
    const int64_t srcTime = testsupport::MTimeNs(src);
    const std::string existing = out("existing.avi");
    testsupport::WriteFile(existing, "precious bytes");
    {
        TCustomFFmpeg task;
        ASSERT_TRUE(task.OpenInput(QString::fromStdString(src))) << task.ErrorText();
        ASSERT_GE(task.OpenOutput(QString::fromStdString(existing), false), 1) << task.ErrorText();
        EXPECT_EQ(testsupport::ReadFile(existing), "precious bytes");
    }  // freed without running
    EXPECT_EQ(testsupport::ReadFile(existing), "precious bytes");
    Outcome r = run({"-i", src, "-vcodec", "mpeg4", existing});
    ASSERT_TRUE(r.finished) << r.error;
    EXPECT_GT(fs::file_size(existing), 1000u);
    EXPECT_EQ(testsupport::ReadFile(src), before);
    EXPECT_EQ(testsupport::MTimeNs(src), srcTime);
    // The null device is written to but never deleted.
    r = run({"-i", src, "-f", "avi", "/dev/null"});
    EXPECT_TRUE(r.finished) << r.error;
    EXPECT_TRUE(fs::exists("/dev/null"));
}

TEST_F(Transcode, SoundFarPastFullScaleIsEncodedToMp3WithoutStoppingTheProgram) {
    // A damaged AAC track (found by the convert fuzzer; its first byte chose the output) that
    // decodes to samples of ±480000. Handed to the MP3 encoder library as they are, they end the
    // whole process on one of its assertions.
    const std::string found = testsupport::ReadFile(
        TANDREL_SOURCE_DIR "/tests/fuzz/regressions/convert/aac-far-past-full-scale-to-mp3");
    ASSERT_GT(found.size(), 1u);
    const std::string src = out("damaged.mp4");
    testsupport::WriteFile(src, found.substr(1));
    const std::string o = out("loud.flv");
    Outcome r = run({"-i", src, "-t", "1", "-s", "32x24", "-r", "10", "-vcodec", "flv", "-ac", "1",
                     "-ar", "22050", "-acodec", "libmp3lame", o});
    ASSERT_EQ(r.built, CommandLineResult::Ok) << r.buildMessage;
    ASSERT_TRUE(r.finished) << r.error;
    EXPECT_TRUE(fs::exists(o));
}

TEST_F(Transcode, BrokenInputsFailClearlyOrGiveAShorterFile) {
    for (const char* id : {"empty", "text_mp4", "random", "truncated"}) {
        Outcome r = run({"-i", testmedia::Path(id), out(std::string(id) + ".avi")});
        EXPECT_EQ(r.built, CommandLineResult::Failed) << id;
        // The ffmpeg program's own last word on the same file: the name and the library's text.
        std::string said;
        EXPECT_FALSE(testmedia::RunFfmpeg(
            "-i " + testmedia::Quote(testmedia::Path(id)) + " -f null -", &said));
        while (!said.empty() && said.back() == '\n') said.pop_back();
        said = said.substr(said.rfind('\n') + 1);
        EXPECT_EQ(said, testmedia::Path(id) + ": Invalid data found when processing input");
        EXPECT_EQ(r.buildMessage, said) << id;
        EXPECT_FALSE(fs::exists(out(std::string(id) + ".avi")));
    }
    for (const char* id : {"mp3_truncated", "ts_truncated"}) {
        const std::string o = out(std::string(id) + ".mkv");
        Outcome r = run({"-i", testmedia::Path(id), "-acodec", "libmp3lame", "-vcodec", "mpeg4", o});
        ASSERT_EQ(r.built, CommandLineResult::Ok) << r.buildMessage;
        // What they hold is converted.
        ASSERT_TRUE(r.finished) << id << ": " << r.error;
        EXPECT_GT(number(facts(o)["format"].toObject()["duration"]), 0.1) << id;
    }
}

TEST_F(Transcode, WritesToAFullDiskEndWithAnError) {
    Outcome r = run({"-i", testmedia::Path("clip10s"), "-vcodec", "mpeg4", "-f", "avi",
                     "/dev/full"});
    ASSERT_EQ(r.built, CommandLineResult::Ok) << r.buildMessage;
    EXPECT_FALSE(r.finished);
    EXPECT_TRUE(r.hasError);
    EXPECT_FALSE(r.error.empty());
}

// ---------------------------------------------------------------------------------------------
// Everyday files

namespace {

int countFrames(const std::string& path, const char* kind = "v") {
    std::string text;
    testsupport::Run(std::string("ffprobe -v error -count_frames -select_streams ") + kind +
                         ":0 -show_entries stream=nb_read_frames -of csv=p=0 " +
                         testmedia::Quote(path),
                     &text);
    return text.empty() ? -1 : std::atoi(text.c_str());
}

// The ffmpeg program with `args`, output last; fails the test when it fails.
void reference(const std::string& args) {
    std::string error;
    ASSERT_TRUE(testmedia::RunFfmpeg(args, &error)) << error;
}

}  // namespace

TEST_F(Transcode, CutEndKeepsTheReferencesOfTheLastPictures) {
    // B-frames before the end of the cut need a reference after it: decoded, then dropped.
    const std::string src = testmedia::Path("bframes_4s");
    const std::string ours = out("cut.avi"), theirs = out("cut-ref.avi");
    Outcome r = run({"-ss", "1", "-i", src, "-t", "1.5", "-vcodec", "mpeg4", "-qscale", "2", ours});
    ASSERT_TRUE(r.finished) << r.error;
    reference("-ss 1 -i " + testmedia::Quote(src) + " -t 1.5 -c:v mpeg4 -q:v 2 " +
              testmedia::Quote(theirs));
    const auto source = analysis::LumaPictures(src);
    const auto a = analysis::LumaPictures(ours), b = analysis::LumaPictures(theirs);
    ASSERT_EQ(a.size(), b.size());
    ASSERT_GE(a.size(), 37u);
    auto sourceAt = [&](double t) -> const analysis::Luma& {
        size_t best = 0;
        for (size_t i = 0; i < source.size(); ++i)
            if (std::fabs(source[i].time - t) < std::fabs(source[best].time - t)) best = i;
        return source[best];
    };
    double worst = 1e9;  // dB: our PSNR less the ffmpeg program's, the lowest over the cut
    for (size_t i = 0; i < a.size(); ++i) {
        const analysis::Luma& s = sourceAt(1.0 + b[i].time);
        const double margin = analysis::Psnr(a[i], s) - analysis::Psnr(b[i], s);
        worst = std::min(worst, margin);
        EXPECT_GE(margin, -3.0) << "picture " << i;
    }
    std::printf("cut of %zu pictures: lowest PSNR difference to the ffmpeg program's %.2f dB\n",
                a.size(), worst);
}

TEST_F(Transcode, ContainersTakeOnlyStreamsTheyCanHold) {
    // A video stream without a single packet beside three seconds of sound.
    const std::string silentVideo = out("no_pictures.mkv");
    ASSERT_EQ(testsupport::Run("ffmpeg -v error -nostdin -f lavfi -i sine=duration=3 -f lavfi -i "
                               "testsrc2=size=160x120:duration=1 -map 0:a -map 1:v -frames:v 0 "
                               "-c:v libx264 -c:a aac " +
                               testmedia::Quote(silentVideo)),
              0);
    const struct {
        std::string source, output;
        bool video;
        bool cover;  // the picture is the source's cover, marked as one
    } cases[] = {
        // A sound container's picture codec is for covers, never for a video.
        {testmedia::Path("mp4_h264_aac"), out("sound.mp3"), false, false},
        {silentVideo, out("sound.mp4"), false, false},
        {testmedia::Path("mp4_h264_aac"), out("both.mkv"), true, false},
        // A cover goes along: from a music file, and from a video that has one.
        {testmedia::Path("mp3_cover"), out("music.mp3"), true, true},
        {testmedia::Path("cover_mp4"), out("from-video.mp3"), true, true},
        {testmedia::Path("mp3_cover"), out("music.flac"), true, true},
        {testmedia::Path("cover_m4a"), out("music.m4a"), true, true},
    };
    for (const auto& c : cases) {
        Outcome r = run({"-i", c.source, c.output});
        ASSERT_TRUE(r.finished) << c.output << ": " << r.buildMessage << r.error;
        const QJsonObject video = stream(c.output, "video");
        EXPECT_EQ(video.isEmpty(), !c.video) << c.output;
        EXPECT_EQ(video["disposition"].toObject()["attached_pic"].toInt(), c.cover ? 1 : 0)
            << c.output;
        EXPECT_FALSE(stream(c.output, "audio").isEmpty()) << c.output;
    }
}

TEST_F(Transcode, OneStreamFeedsAStreamCopyAndAnEncodingAlike) {
    const std::string src = testmedia::Path("cover_mp4");
    const std::string copied = out("copy.mkv"), encoded = out("encoded.mp4");
    Outcome r = run({"-i", src, "-vcodec", "copy", "-acodec", "copy", copied, "-vcodec", "mpeg4",
                     "-acodec", "aac", encoded});
    ASSERT_EQ(r.built, CommandLineResult::Ok) << r.buildMessage;
    ASSERT_TRUE(r.finished) << r.error;
    // Both take the moving picture (never the cover) and every one of its 50 pictures.
    EXPECT_EQ(stream(copied, "video")["codec_name"].toString(), "h264");
    EXPECT_EQ(countFrames(copied), 50);
    EXPECT_EQ(countFrames(encoded), 50);
    EXPECT_EQ(stream(encoded, "video")["width"].toInt(), 320);
    EXPECT_GT(countFrames(copied, "a"), 80);
    EXPECT_GT(countFrames(encoded, "a"), 80);
}

TEST_F(Transcode, TheOutputIsNeverAnInput) {
    const std::string original = testmedia::Path("avi_mpeg4_mp3");
    const std::string src = out("mine.avi");
    fs::copy_file(original, src);
    const std::string before = testsupport::ReadFile(src);
    const int64_t mtime = testsupport::MTimeNs(src);
    fs::create_symlink(src, out("link.avi"));
    fs::create_hard_link(src, out("hard.avi"));
    fs::create_directory(out("sub"));
    for (const std::string& target :
         {src, out("link.avi"), out("hard.avi"), out("sub/../mine.avi")}) {
        Outcome r = run({"-i", src, "-vcodec", "mpeg4", target});
        EXPECT_EQ(r.built, CommandLineResult::Failed) << target;
        EXPECT_EQ(r.buildMessage, target +
                                      ": the output file is the same file as input #0; "
                                      "choose another name or folder");
    }
    // Nothing was opened for writing.
    EXPECT_EQ(testsupport::ReadFile(src), before);
    EXPECT_EQ(testsupport::MTimeNs(src), mtime);
}

TEST_F(Transcode, StreamCopyIntoAviStatesThePictureRate) {
    const std::string o = out("copy.avi");
    Outcome r =
        run({"-i", testmedia::Path("mp4_h264_aac"), "-vcodec", "copy", "-acodec", "copy", o});
    ASSERT_TRUE(r.finished) << r.error;
    const QJsonObject v = stream(o, "video");
    EXPECT_EQ(v["avg_frame_rate"].toString(), "25/1");
    EXPECT_EQ(v["r_frame_rate"].toString(), "25/1");
    EXPECT_EQ(countFrames(o), 50);
    EXPECT_NEAR(number(facts(o)["format"].toObject()["duration"]), 2.0, 0.1);
}

TEST_F(Transcode, JoinedInputsRunThroughFiltersInTheirOwnTime) {
    // AVI counts in pictures (1/25 s), MP4 in 1/12800 s: each input is timed in its own units.
    for (bool aviFirst : {true, false}) {
        const std::string a = testmedia::Path("rgb_utvideo"), b = testmedia::Path("h264_10bit");
        const std::string o = out(aviFirst ? "joined-a.mp4" : "joined-b.mp4");
        Outcome r = run({"-i", aviFirst ? a : b, "-i", aviFirst ? b : a, "-vf", "hflip", "-vcodec",
                         "mpeg4", "-acodec", "aac", o},
                        true);
        ASSERT_TRUE(r.finished) << r.error;
        EXPECT_NEAR(number(facts(o)["format"].toObject()["duration"]), 4.0, 0.15) << aviFirst;
        EXPECT_NEAR(countFrames(o), 100, 1) << aviFirst;
    }
}

TEST_F(Transcode, TurnedPicturesComeOutUpright) {
    const std::string src = testmedia::Path("rotated_90");
    const std::string ours = out("upright.avi"), theirs = out("upright-ref.avi");
    Outcome r = run({"-i", src, "-vcodec", "mpeg4", "-qscale", "2", "-acodec", "libmp3lame", ours});
    ASSERT_TRUE(r.finished) << r.error;
    reference("-i " + testmedia::Quote(src) + " -c:v mpeg4 -q:v 2 -c:a libmp3lame " +
              testmedia::Quote(theirs));
    const auto a = analysis::LumaPictures(ours), b = analysis::LumaPictures(theirs);
    ASSERT_EQ(a.size(), b.size());
    ASSERT_FALSE(a.empty());
    EXPECT_EQ(a.front().width, 240);
    EXPECT_EQ(a.front().height, 320);
    for (size_t i = 0; i < a.size(); ++i) EXPECT_GT(analysis::Psnr(a[i], b[i]), 30.0) << i;
    // The picture is upright in its pixels: a copy keeps the turn, an encoding carries none.
    EXPECT_TRUE(stream(ours, "video")["side_data_list"].toArray().isEmpty());
    const std::string copied = out("turned.mp4");
    ASSERT_TRUE(run({"-i", src, "-vcodec", "copy", "-an", copied}).finished);
    const QJsonArray sd = stream(copied, "video")["side_data_list"].toArray();
    ASSERT_EQ(sd.size(), 1);
    EXPECT_EQ(std::abs(sd[0].toObject()["rotation"].toInt()), 90);
}

TEST_F(Transcode, LeapingTimeStampsGiveNoRunsOfRepeatedPictures) {
    // The pictures' time stamps start 10 hours after the sound's.
    const std::string o = out("leap.avi");
    Outcome r =
        run({"-i", testmedia::Path("late_video"), "-vcodec", "mpeg4", "-acodec", "libmp3lame", o});
    ASSERT_TRUE(r.finished) << r.error;
    EXPECT_NEAR(number(facts(o)["format"].toObject()["duration"]), 2.0, 0.3);
    EXPECT_NEAR(countFrames(o), 50, 1);
}

TEST_F(Transcode, TextSubtitlesKeepTheirTimesAndDurations) {
    const std::string src = testmedia::Path("subs_mkv");
    for (const char* name : {"subs.mp4", "subs.mkv"}) {
        const std::string o = out(name);
        Outcome r = run({"-i", src, "-vcodec", "mpeg4", "-acodec", "aac", o});
        ASSERT_TRUE(r.finished) << name << ": " << r.error;
        std::string text;
        testsupport::Run(
            "ffprobe -v error -select_streams s -show_entries "
            "packet=pts_time,duration_time -of csv=p=0 " +
                testmedia::Quote(o),
            &text);
        // "Hello" 0.2–1.0 s and "World" 1.2–1.8 s (mov_text also writes empty gaps).
        std::vector<std::pair<double, double>> cues;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            double start = 0, length = 0;
            if (std::sscanf(line.c_str(), "%lf,%lf", &start, &length) == 2 && length > 0.3)
                cues.emplace_back(start, length);
        }
        ASSERT_EQ(cues.size(), 2u) << name << "\n" << text;
        const double video = number(stream(o, "video")["start_time"]);
        EXPECT_NEAR(cues[0].first - video, 0.2, 0.03) << name;
        EXPECT_NEAR(cues[0].second, 0.8, 0.01) << name;
        EXPECT_NEAR(cues[1].first - video, 1.2, 0.03) << name;
        EXPECT_NEAR(cues[1].second, 0.6, 0.01) << name;
    }
}

TEST_F(Transcode, OffsetsFiltersAndSlowPicturesKeepTheLengthTheyMake) {
    // Each file lasts what its options make of the source, and the task finishes: the check of
    // a finished file judges what was written, not the source's length.
    struct Case {
        const char* name;
        std::vector<std::string> words;  // before the output name
        double duration;                 // what ffprobe says the file lasts, s
        int frames;                      // -1: not counted
    };
    const std::string av = testmedia::Path("mp4_h264_aac"), slides = testmedia::Path("slides_05fps");
    const std::vector<Case> cases = {
        // The 2 s source starts 2 s late: the file lasts until 4 s.
        {"offset.mkv", {"-itsoffset", "2", "-i", av, "-vcodec", "mpeg4", "-acodec", "mp2"}, 4.0, 50},
        {"trim.mkv", {"-i", av, "-an", "-vcodec", "mpeg4", "-vf", "trim=0:1"}, 1.0, 25},
        // Twice as slow: every one of the 50 pictures, none dropped.
        {"slow.mkv", {"-i", av, "-an", "-vcodec", "mpeg4", "-vf", "setpts=2*PTS"}, 3.98, 50},
        // Ten pictures of 2 s: the last one keeps its two seconds, at a constant and a variable
        // rate alike.
        {"slides.mp4", {"-i", slides, "-vcodec", "mpeg4", "-r", "25"}, 20.0, 500},
        {"slides.mkv", {"-i", slides, "-vcodec", "mpeg4", "-r", "25"}, 20.0, -1},
        {"slides-negated.mkv", {"-i", slides, "-vcodec", "mpeg4", "-vf", "negate"}, 20.0, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> words = c.words;
        words.push_back(out(c.name));
        Outcome r = run(words);
        ASSERT_EQ(r.built, CommandLineResult::Ok) << r.buildMessage;
        ASSERT_TRUE(r.finished) << r.error;
        const QJsonObject format = facts(out(c.name))["format"].toObject();
        EXPECT_NEAR(number(format["duration"]), c.duration, 0.05);
        if (c.frames >= 0) {
            EXPECT_EQ(countFrames(out(c.name)), c.frames);
        }
    }
}
