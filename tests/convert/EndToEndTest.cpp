// Every profile end to end: a 2 s 640x360 25 fps clip with 44.1 kHz stereo sound converted by
// tandrel-cli convert, two conversions at a time, and read back with ffprobe. What each file must
// hold follows from the profile's job fields (the options model's defaults, or the chosen codec
// item) and the containers' and targets' known behaviour.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "TestMedia.h"
#include "TestSupport.h"
#include "formats/FormatCatalog.h"
#include "formats/OptionsModel.h"

namespace fs = std::filesystem;
using namespace formats;
using testmedia::Quote;

namespace {

constexpr int kParallel = 2;

// One conversion through the command line and what came of it.
struct Conversion {
    int profile = 0;
    std::string args;  // extra arguments (--set …)
    std::string outDir;
    int status = -1;
    bool finished = false;
    std::string output;  // the output path the command reported
    std::string error;   // the task's error text
    std::string log;     // the command's standard output, for failure messages
    QJsonObject probe;   // ffprobe's view of the output (empty when there is none)
};

void convert(Conversion& run, const std::string& source) {
    const std::string errFile = run.outDir + ".stderr";
    fs::create_directories(run.outDir);
    std::string out;
    run.status =
        testsupport::Run(std::string(TANDREL_CLI) + " convert --progress json --profile " +
                             std::to_string(run.profile) + " " + run.args + " --out " +
                             Quote(run.outDir) + " " + Quote(source) + " 2>" + Quote(errFile),
                         &out);
    run.log = out + testsupport::ReadFile(errFile);
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        if (o["event"].toString() != QLatin1String("end")) continue;
        run.finished = o["finished"].toBool();
        run.output = o["output"].toString().toStdString();
        run.error = o["error"].toString().toStdString();
    }
    if (!run.output.empty() && fs::exists(run.output))
        run.probe = testsupport::FfprobeJson(run.output);
}

// Runs every conversion, kParallel at a time.
void convertAll(std::vector<Conversion>& runs, const std::string& source) {
    std::atomic<size_t> next{0};
    std::vector<std::thread> workers;
    for (int w = 0; w < kParallel; ++w)
        workers.emplace_back([&] {
            for (size_t i; (i = next++) < runs.size();) convert(runs[i], source);
        });
    for (auto& t : workers) t.join();
}

// The profiles in picker order; `distinct` leaves out the indexes that share a profile with an
// earlier one (2 and 3 are 1, 7–9 are 6).
std::vector<int> profileIndexes(bool distinct) {
    std::vector<int> out;
    std::set<const FormatProfile*> seen;
    for (const PickerTab& tab : PickerTabs())
        for (size_t i = 0; i < tab.items.size(); ++i) {
            const int index = tab.base + static_cast<int>(i);
            const FormatProfile* p = FindProfile(index);
            if (!p || (distinct && !seen.insert(p).second)) continue;
            out.push_back(index);
        }
    return out;
}

// The job fields of a profile with one list item chosen (or none).
JobFields fieldsFor(int index, std::optional<std::pair<Slot, int>> pick = std::nullopt,
                    const std::string& source = "/src/clip.mp4") {
    JobFields f;
    f.FormatIndex = index;
    f.SourceFile = QString::fromStdString(source);
    OptionsModel model;
    model.PrepareForAddition(true);
    model.Open(f, QStringLiteral("/out"), {});
    if (pick) model.Select(pick->first, pick->second);
    model.Confirm();
    return model.Fields();
}

std::string extensionOf(int index) { return std::string(FindProfile(index)->fileExtension); }

// ffprobe's format name for each output extension.
std::string containerFor(const std::string& ext) {
    static const std::map<std::string, std::string> names = {
        {".mp3", "mp3"},
        {".mp2", "mp3"},
        {".wav", "wav"},
        {".flac", "flac"},
        {".ogg", "ogg"},
        {".ac3", "ac3"},
        {".amr", "amr"},
        {".rm", "rm"},
        {".avi", "avi"},
        {".mpg", "mpeg"},
        {".vob", "mpeg"},
        {".flv", "flv"},
        {".swf", "swf"},
        {".mkv", "matroska,webm"},
        {".wma", "asf"},
        {".wmv", "asf"},
        {".asf", "asf"},
        {".mp4", "mov,mp4,m4a,3gp,3g2,mj2"},
        {".m4a", "mov,mp4,m4a,3gp,3g2,mj2"},
        {".mov", "mov,mp4,m4a,3gp,3g2,mj2"},
    };
    const auto it = names.find(ext);
    return it == names.end() ? "?" + ext : it->second;
}

// The decoder name of what an encoder writes.
std::string streamCodecOf(const std::string& encoder) {
    static const std::map<std::string, std::string> names = {
        {"mpeg4", "mpeg4"},
        {"libxvid", "mpeg4"},
        {"libx264", "h264"},
        {"msmpeg4", "msmpeg4v3"},
        {"mjpeg", "mjpeg"},
        {"rv10", "rv10"},
        {"rv20", "rv20"},
        {"wmv2", "wmv2"},
        {"mpeg1video", "mpeg1video"},
        {"libmp3lame", "mp3"},
        {"libfaac", "aac"},
        {"flac", "flac"},
        {"ac3", "ac3"},
        {"wmav2", "wmav2"},
        {"wmav1", "wmav1"},
        {"libvorbis", "vorbis"},
        {"libopencore_amrnb", "amr_nb"},
    };
    const auto it = names.find(encoder);
    return it == names.end() ? "?" + encoder : it->second;
}

struct Expected {
    std::string container;
    std::string video;     // empty: no video stream
    std::string videoTag;  // empty: not checked
    int width = 0, height = 0;
    std::string audio;
    int sampleRate = 0;
    int channels = 0;
};

Expected expectedFor(const JobFields& f, const std::string& ext) {
    Expected e;
    e.container = containerFor(ext);
    const std::string target = f.JobTarget.toStdString();
    const std::string vcodec = f.JobVideoCodec.toStdString();
    const std::string acodec = f.JobAudioCodec.toStdString();
    if (!f.JobAudioOnly) {
        if (target == "dvd" || target == "svcd")
            e.video = "mpeg2video";
        else if (target == "vcd")
            e.video = "mpeg1video";
        else if (!vcodec.empty())
            e.video = streamCodecOf(vcodec);
        else if (ext == ".flv" || ext == ".swf")
            e.video = "flv1";
        else if (ext == ".mov")
            e.video = "h264";
        else if (ext == ".vob")
            e.video = "mpeg2video";
        else
            e.video = "?default video of " + ext;

        if (ext == ".avi") {
            if (vcodec == "mpeg4")
                e.videoTag = f.JobVideoTag.isEmpty() ? "FMP4" : f.JobVideoTag.toStdString();
            else if (vcodec == "libxvid")
                e.videoTag = "xvid";
            else if (vcodec == "libx264")
                e.videoTag = "H264";
            else if (vcodec == "msmpeg4")
                e.videoTag = "MP43";
            else if (vcodec == "mjpeg")
                e.videoTag = "MJPG";
        } else if (ext == ".asf" || ext == ".wmv") {
            e.videoTag = vcodec == "wmv2" ? "WMV2" : vcodec == "msmpeg4" ? "MP43" : "";
        }

        // The frame size: the item's leading "W*H", the disc standard's, or the source's; the
        // RealVideo 1 encoder takes multiples of 16 only.
        const bool ntsc = f.JobTVStandard == QLatin1String("NTSC");
        if (target == "dvd") {
            e.width = 720, e.height = ntsc ? 480 : 576;
        } else if (target == "svcd") {
            e.width = 480, e.height = ntsc ? 480 : 576;
        } else if (target == "vcd") {
            e.width = 352, e.height = ntsc ? 240 : 288;
        } else if (f.JobFrameSize.isEmpty()) {
            e.width = 640, e.height = 360;
        } else {
            std::sscanf(f.JobFrameSize.toStdString().c_str(), "%d*%d", &e.width, &e.height);
        }
        if (vcodec == "rv10") e.width -= e.width % 16, e.height -= e.height % 16;
    }

    if (!acodec.empty() && acodec != "AUTO")
        e.audio = streamCodecOf(acodec);
    else if (ext == ".wav")
        e.audio = "pcm_s16le";
    else if (ext == ".mpg" || ext == ".vob" || ext == ".mp2")
        e.audio = "mp2";
    else if (ext == ".rm")
        e.audio = "ac3";
    else
        e.audio = "?default audio of " + ext;
    if (target == "dvd")
        e.sampleRate = 48000;
    else if (target == "svcd" || target == "vcd")
        e.sampleRate = 44100;
    else if (f.JobSampleRate.isEmpty() || f.JobSampleRate == QLatin1String("AUTO"))
        e.sampleRate = 44100;  // the source's
    else
        e.sampleRate = f.JobSampleRate.toInt();
    e.channels = f.JobAudioChannels.isEmpty() ? 2 : f.JobAudioChannels.toInt();
    return e;
}

QJsonObject firstStream(const QJsonObject& probe, const char* type) {
    for (const auto& s : probe["streams"].toArray())
        if (s.toObject()["codec_type"].toString() == QLatin1String(type)) return s.toObject();
    return {};
}

// What is wrong with a conversion, measured against its expectations; empty when nothing is.
std::vector<std::string> problems(const Conversion& run, const Expected& e,
                                  bool checkAudioDetails) {
    std::vector<std::string> p;
    auto expect = [&p](bool ok, const std::string& what, const std::string& got,
                       const std::string& want) {
        if (!ok) p.push_back(what + ": " + got + ", expected " + want);
    };
    expect(run.status == 0, "exit status", std::to_string(run.status), "0");
    expect(run.finished, "finished", run.error, "true");
    if (run.probe.isEmpty()) {
        p.push_back("no readable output at '" + run.output + "'");
        return p;
    }
    const QJsonObject format = run.probe["format"].toObject();
    const std::string container = format["format_name"].toString().toStdString();
    expect(container == e.container, "container", container, e.container);
    const QString duration = format["duration"].toString();
    // FLAC blocks hold 4608 samples, and AVI counts an audio stream's length in whole blocks.
    const double slack = e.audio == "flac" ? 0.3 + 4608.0 / std::max(e.sampleRate, 8000) : 0.3;
    if (!duration.isEmpty())  // the SWF muxer writes none
        expect(std::abs(duration.toDouble() - 2.0) <= slack, "duration", duration.toStdString(),
               "2 s");

    const QJsonObject video = firstStream(run.probe, "video");
    const std::string vcodec = video["codec_name"].toString().toStdString();
    if (e.video.empty()) {
        expect(video.isEmpty(), "video stream", vcodec, "none");
    } else {
        expect(vcodec == e.video, "video codec", vcodec, e.video);
        const std::string tag = video["codec_tag_string"].toString().toStdString();
        if (!e.videoTag.empty()) expect(tag == e.videoTag, "video tag", tag, e.videoTag);
        const int w = video["width"].toInt(), h = video["height"].toInt();
        expect(w == e.width && h == e.height, "frame size",
               std::to_string(w) + "x" + std::to_string(h),
               std::to_string(e.width) + "x" + std::to_string(e.height));
    }
    const QJsonObject audio = firstStream(run.probe, "audio");
    const std::string acodec = audio["codec_name"].toString().toStdString();
    expect(acodec == e.audio, "audio codec", acodec, e.audio);
    if (checkAudioDetails) {
        const int rate = audio["sample_rate"].toString().toInt();
        const int channels = audio["channels"].toInt();
        expect(rate == e.sampleRate, "sample rate", std::to_string(rate),
               std::to_string(e.sampleRate));
        expect(channels == e.channels, "channels", std::to_string(channels),
               std::to_string(e.channels));
    }
    return p;
}

std::string describe(const Conversion& run, const std::vector<std::string>& found) {
    std::string text = "profile " + std::to_string(run.profile) + " " + run.args + ":";
    for (const auto& f : found) text += "\n  " + f;
    return text + "\n" + run.log;
}

std::string workDir(const char* name) { return testsupport::ScratchDir(name); }

TEST(EndToEnd, EveryProfileConvertsWithItsDefaults) {
    const std::string source = testmedia::Path("clip2s_640");
    ASSERT_FALSE(source.empty());
    const std::string dir = workDir("e2e-defaults");
    std::vector<Conversion> runs;
    for (int index : profileIndexes(false)) {
        Conversion r;
        r.profile = index;
        r.outDir = dir + "/" + std::to_string(index);
        runs.push_back(r);
    }
    ASSERT_EQ(runs.size(), 80u);
    convertAll(runs, source);

    int passed = 0;
    for (const Conversion& run : runs) {
        const JobFields f = fieldsFor(run.profile, std::nullopt, source);
        const auto found = problems(run, expectedFor(f, extensionOf(run.profile)), true);
        if (found.empty())
            ++passed;
        else
            ADD_FAILURE() << describe(run, found);
        // One file is named as the options dialog names it.
        EXPECT_EQ(run.output, (dir + "/" + std::to_string(run.profile) + "/") +
                                  fs::path(f.OutputFile.toStdString()).filename().string());
    }
    EXPECT_EQ(passed, 80) << passed << " of 80 profiles produced the expected file";

    // The issue's named cases, spelled out.
    auto find = [&](int index) -> const Conversion& {
        for (const Conversion& r : runs)
            if (r.profile == index) return r;
        return runs.front();
    };
    const QJsonObject amr = firstStream(find(209).probe, "audio");
    EXPECT_EQ(amr["codec_name"].toString(), "amr_nb");
    EXPECT_EQ(amr["sample_rate"].toString(), "8000");
    EXPECT_EQ(amr["channels"].toInt(), 1);
    EXPECT_EQ(firstStream(find(305).probe, "audio")["codec_name"].toString(), "pcm_s16le");
    EXPECT_EQ(firstStream(find(1).probe, "video")["codec_tag_string"].toString(), "DX50");
    EXPECT_EQ(firstStream(find(110).probe, "video")["codec_tag_string"].toString(), "XVID");
    EXPECT_EQ(firstStream(find(119).probe, "video")["codec_tag_string"].toString(), "xvid");
    EXPECT_EQ(firstStream(find(103).probe, "video")["codec_tag_string"].toString(), "FMP4");
    EXPECT_EQ(firstStream(find(313).probe, "video")["codec_tag_string"].toString(), "H264");
    EXPECT_EQ(firstStream(find(24).probe, "video")["codec_tag_string"].toString(), "MJPG");
    EXPECT_EQ(firstStream(find(23).probe, "video")["codec_tag_string"].toString(), "MP43");
    EXPECT_EQ(firstStream(find(20).probe, "video")["width"].toInt(), 480);
    EXPECT_EQ(firstStream(find(15).probe, "video")["width"].toInt(), 640);
    EXPECT_EQ(firstStream(find(15).probe, "video")["height"].toInt(), 352);
}

// Audio codec items that the container itself refuses (the muxer's own rule): such a file must
// fail with a task error and leave nothing behind.
bool containerRefuses(const std::string& ext, const JobFields& f, const std::string& audio) {
    if (ext == ".swf") return audio != "mp3";
    if (ext == ".flv") return audio == "flac" || audio == "ac3";
    if (ext == ".mpg" || ext == ".vob") return audio == "flac" || audio == "aac";
    if (ext == ".mov" || f.JobFormat == QLatin1String("mov")) return audio == "flac";
    return false;
}

TEST(EndToEnd, EveryCodecItemConvertsOrFailsCleanly) {
    const std::string source = testmedia::Path("clip2s_640");
    ASSERT_FALSE(source.empty());
    const std::string dir = workDir("e2e-items");
    struct Case {
        Slot slot;
        int position;
        JobFields fields;
    };
    std::vector<Conversion> runs;
    std::vector<Case> cases;
    for (int index : profileIndexes(true)) {
        const FormatProfile& p = *FindProfile(index);
        for (Slot slot : {Slot::VideoCodec, Slot::AudioCodec}) {
            const SlotChoice& choice = p.Choice(slot);
            const int count = FindChoiceList(choice.list)->size();
            for (int k = 0; k < count; ++k) {
                if (k == choice.position) continue;  // the defaults are the other test's
                Conversion r;
                r.profile = index;
                r.args = std::string("--set ") + SlotKey(slot) + "=#" + std::to_string(k);
                r.outDir = dir + "/" + std::to_string(index) + "-" + SlotKey(slot) + "-" +
                           std::to_string(k);
                runs.push_back(r);
                cases.push_back({slot, k, fieldsFor(index, std::make_pair(slot, k))});
            }
        }
    }
    convertAll(runs, source);

    int videoItems = 0, audioConverted = 0, audioRefused = 0;
    for (size_t i = 0; i < runs.size(); ++i) {
        const Conversion& run = runs[i];
        const Case& c = cases[i];
        const std::string ext = extensionOf(run.profile);
        const Expected e = expectedFor(c.fields, ext);
        if (c.slot == Slot::VideoCodec) {
            ++videoItems;
            const auto found = problems(run, e, false);
            if (!found.empty()) ADD_FAILURE() << describe(run, found);
            continue;
        }
        const bool refused = containerRefuses(ext, c.fields, e.audio);
        SCOPED_TRACE("profile " + std::to_string(run.profile) + " " + run.args + "\n" + run.log);
        if (run.finished) {
            ++audioConverted;
            EXPECT_FALSE(refused) << "a combination the container refuses was written";
            const auto found = problems(run, e, false);
            if (!found.empty()) ADD_FAILURE() << describe(run, found);
            continue;
        }
        // Not converted: a clear task error, exit status 1, and no file of any kind.
        ++audioRefused;
        EXPECT_TRUE(refused) << "should have converted: " << run.error;
        EXPECT_EQ(run.status, 1);
        EXPECT_FALSE(run.error.empty());
        EXPECT_TRUE(run.output.empty() || !fs::exists(run.output)) << run.output;
        EXPECT_TRUE(fs::is_empty(run.outDir)) << run.outDir;
    }
    EXPECT_GT(videoItems, 100);
    EXPECT_GT(audioConverted, 50);
    EXPECT_GT(audioRefused, 10);
}

}  // namespace
