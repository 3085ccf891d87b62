#include "ProfileRuns.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "TestMedia.h"
#include "TestSupport.h"
#include "formats/OptionsModel.h"

namespace fs = std::filesystem;
using namespace formats;
using testmedia::Quote;

namespace profileruns {

namespace {
constexpr int kParallel = 2;
}  // namespace

void convert(Conversion& run, const std::string& source) {
    fs::create_directories(run.outDir);
    const testsupport::CommandResult r =
        testsupport::Cli("convert --progress json --profile " + std::to_string(run.profile) + " " +
                         run.args + " --out " + Quote(run.outDir) + " " + Quote(source));
    run.status = r.status;
    run.log = r.out + r.err;
    std::istringstream in(r.out);
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
JobFields fieldsFor(int index, std::optional<std::pair<Slot, int>> pick,
                    const std::string& source) {
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

namespace {

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

}  // namespace

Expected expectedFor(const JobFields& f, const std::string& ext, const SourceFacts& src) {
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

        // The frame size: the item's leading "W*H", the disc standard's, or the source's.
        const bool ntsc = f.JobTVStandard == QLatin1String("NTSC");
        if (target == "dvd") {
            e.width = 720, e.height = ntsc ? 480 : 576;
        } else if (target == "svcd") {
            e.width = 480, e.height = ntsc ? 480 : 576;
        } else if (target == "vcd") {
            e.width = 352, e.height = ntsc ? 240 : 288;
        } else if (f.JobFrameSize.isEmpty()) {
            e.width = src.width, e.height = src.height;
        } else {
            std::sscanf(f.JobFrameSize.toStdString().c_str(), "%d*%d", &e.width, &e.height);
        }
    }
    FitEncoderStep(e);

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
        e.sampleRate = src.sampleRate;
    else
        e.sampleRate = f.JobSampleRate.toInt();
    e.channels = f.JobAudioChannels.isEmpty() ? src.channels : f.JobAudioChannels.toInt();
    return e;
}

void FitEncoderStep(Expected& e) {
    const int step = e.video == "rv10" ? 16 : e.video == "rv20" ? 4 : 1;
    e.width -= e.width % step;
    e.height -= e.height % step;
}

QJsonObject firstStream(const QJsonObject& probe, const char* type) {
    for (const auto& s : probe["streams"].toArray())
        if (s.toObject()["codec_type"].toString() == QLatin1String(type)) return s.toObject();
    return {};
}

// What is wrong with a conversion, measured against its expectations; empty when nothing is.
std::vector<std::string> problems(const Conversion& run, const Expected& e, bool checkAudioDetails,
                                  double seconds) {
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
        expect(std::abs(duration.toDouble() - seconds) <= slack, "duration", duration.toStdString(),
               std::to_string(seconds) + " s");

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

}  // namespace profileruns
