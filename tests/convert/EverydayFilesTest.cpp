// Files as people have them — covers, subtitles, a second sound track, RGB and 10-bit pictures,
// a phone's turned picture, interlaced MPEG-2, VP9/Opus, MPEG-TS time stamps at 10 hours,
// pictures whose time stamps start hours after the sound — each converted through one profile
// of every container family and read back with ffprobe. Every clip lasts 2 s.
#include <QJsonArray>
#include <QJsonObject>
#include <cmath>
#include <iterator>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ProfileRuns.h"
#include "TestMedia.h"
#include "TestSupport.h"

using namespace profileruns;
using testmedia::Quote;

namespace {

struct Clip {
    const char* id;
    SourceFacts shown;       // size as shown, the preferred sound track's rate and channels
    bool subtitles = false;  // holds a SubRip stream
    bool coverOnly = false;  // its only picture is a cover
    int extraProfile = 0;    // one more profile to convert with (0: none)
};

const Clip kClips[] = {
    {"cover_mp4", {320, 240, 44100, 2}},
    {"cover_m4a", {320, 320, 44100, 2}, false, true},
    {"subs_mkv", {320, 240, 44100, 2}, true},
    // Profile 15 keeps the source's sample rate: the main track's, not the commentary's.
    {"two_audio", {320, 240, 48000, 6}, false, false, 15},
    {"rgb_utvideo", {320, 240, 44100, 2}},
    {"h264_10bit", {320, 240, 44100, 2}},
    {"rotated_90", {240, 320, 44100, 2}},
    {"mpeg2_interlaced", {720, 576, 44100, 2}},
    {"vp9_opus", {320, 240, 48000, 2}},
    {"ts_10h", {320, 240, 48000, 2}},
    {"late_video", {320, 240, 44100, 2}},
};

void PrintTo(const Clip& clip, std::ostream* os) { *os << clip.id; }

// One profile per container family: AVI (H.264), MP4 (MPEG-4), MKV, FLV, MPG and sound (M4A).
const int kProfiles[] = {101, 312, 107, 316, 314, 308};

// The subtitle codec a container must hold for a SubRip source; empty: none.
std::string subtitleCodecIn(const std::string& extension) {
    if (extension == ".mkv") return "subrip";
    if (extension == ".mp4" || extension == ".mov") return "mov_text";
    return "";
}

struct Counted {
    int frames = -1;
    double rate = 0;
};

// Decoded pictures of the first video stream, by ffprobe.
Counted countPictures(const std::string& path) {
    std::string text;
    testsupport::Run(
        "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
        "stream=nb_read_frames,r_frame_rate -of csv=p=0 " +
            Quote(path),
        &text);
    Counted c;
    int num = 0, den = 1;
    if (std::sscanf(text.c_str(), "%d/%d,%d", &num, &den, &c.frames) == 3 && den > 0)
        c.rate = static_cast<double>(num) / den;
    return c;
}

class EverydayFiles : public ::testing::TestWithParam<Clip> {};

TEST_P(EverydayFiles, ConvertInEveryContainerFamily) {
    const Clip& clip = GetParam();
    const std::string source = testmedia::Path(clip.id);
    ASSERT_FALSE(source.empty());
    const std::string dir = testsupport::ScratchDir(std::string("everyday-") + clip.id);
    std::vector<int> profiles(std::begin(kProfiles), std::end(kProfiles));
    if (clip.extraProfile) profiles.push_back(clip.extraProfile);
    std::vector<Conversion> runs;
    for (int profile : profiles) {
        Conversion r;
        r.profile = profile;
        r.outDir = dir + "/" + std::to_string(profile);
        runs.push_back(r);
    }
    convertAll(runs, source);

    for (const Conversion& run : runs) {
        SCOPED_TRACE(std::string(clip.id) + " with profile " + std::to_string(run.profile));
        const std::string ext = extensionOf(run.profile);
        const Expected e =
            expectedFor(fieldsFor(run.profile, std::nullopt, source), ext, clip.shown);
        const auto found = problems(run, e, true, 2.0);
        EXPECT_TRUE(found.empty()) << describe(run, found);
        if (run.probe.isEmpty()) continue;

        const QJsonObject video = firstStream(run.probe, "video");
        if (!e.video.empty()) {
            // Every profile's pictures play on the devices it names: 8-bit 4:2:0.
            EXPECT_EQ(video["pix_fmt"].toString().toStdString(), "yuv420p");
            // Turned upright in the pictures themselves: no turn left for the player.
            for (const auto& sd : video["side_data_list"].toArray())
                EXPECT_NE(sd.toObject()["side_data_type"].toString().toStdString(),
                          "Display Matrix");
            // Never more pictures than the sound's length at the output rate (plus a second
            // of slack for the bound itself), never fewer than one.
            const Counted c = countPictures(run.output);
            ASSERT_GT(c.rate, 0);
            EXPECT_GE(c.frames, 1);
            EXPECT_LE(c.frames, std::lround(3.0 * c.rate));
            if (clip.coverOnly) {
                EXPECT_LE(c.frames, std::lround(2.0 * c.rate) + 1);
            }
        }

        const QJsonObject subtitle = firstStream(run.probe, "subtitle");
        const std::string wanted = clip.subtitles ? subtitleCodecIn(ext) : "";
        EXPECT_EQ(subtitle["codec_name"].toString().toStdString(), wanted);
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, EverydayFiles, ::testing::ValuesIn(kClips),
                         [](const ::testing::TestParamInfo<Clip>& info) {
                             return std::string(info.param.id);
                         });

}  // namespace
