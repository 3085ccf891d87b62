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

#include "ProfileRuns.h"
#include "TestMedia.h"
#include "TestSupport.h"
#include "formats/FormatCatalog.h"
#include "formats/OptionsModel.h"

namespace fs = std::filesystem;
using namespace formats;
using testmedia::Quote;

namespace {

using namespace profileruns;

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
