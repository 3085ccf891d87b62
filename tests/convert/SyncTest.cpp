// Picture and sound together: marker clips (a white flash and a 1 kHz beep at the same moments)
// converted by tandrel-cli, with every profile that has both and through cuts and joins, then
// read back by plain library decoding (never the engine's file layer). At every marker the beep
// comes within 20 ms of the flash, and the offset moves by at most 10 ms over the file.
#include <cmath>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "MediaAnalysis.h"
#include "ProfileRuns.h"
#include "TestMedia.h"
#include "TestSupport.h"
#include "formats/FormatCatalog.h"

using testmedia::Quote;

namespace {

constexpr double kMaxOffset = 0.020;  // seconds, either way
constexpr double kMaxDrift = 0.010;

std::string listed(const std::vector<double>& times) {
    std::ostringstream s;
    for (double t : times) s << ' ' << t;
    return s.str();
}

// The markers of `file` are at `expected` seconds after its first picture (± `slack` for the
// output's frame grid), each beep within kMaxOffset of its flash on the file's own time stamps,
// and the ffmpeg program decodes the file without a word.
void expectInSync(const std::string& file, const std::vector<double>& expected,
                  double slack = 0.05) {
    SCOPED_TRACE(file);
    testsupport::LoadLibrariesOrFail();
    const std::vector<analysis::Picture> pictures = analysis::Pictures(file);
    ASSERT_FALSE(pictures.empty());
    const std::vector<double> flashes = analysis::FlashTimes(pictures);
    const std::vector<double> beeps = analysis::BeepTimes(analysis::FirstChannel(file));
    ASSERT_EQ(flashes.size(), expected.size()) << "flashes at" << listed(flashes);
    ASSERT_EQ(beeps.size(), expected.size()) << "beeps at" << listed(beeps);
    // Some containers start later than 0 (MPEG program streams at 0.5 s; others by the sound
    // encoder's priming).
    const double start = pictures.front().time;
    std::vector<double> offsets;
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_NEAR(flashes[i] - start, expected[i], slack) << "flash " << i;
        offsets.push_back(beeps[i] - flashes[i]);
        EXPECT_LE(std::fabs(offsets.back()), kMaxOffset)
            << "marker " << i << " at " << expected[i] << " s: beep " << beeps[i] << ", flash "
            << flashes[i];
    }
    EXPECT_LE(std::fabs(offsets.back() - offsets.front()), kMaxDrift)
        << "offsets (beep - flash):" << listed(offsets);
    // Decoded and passed on with the file's own time stamps: a container that states a rounded
    // frame rate (RealMedia keeps 29.97 as 29) would otherwise make the program's own re-timing
    // complain, whoever wrote the file.
    const auto read = testsupport::RunCapturing(
        "ffmpeg -nostdin -hide_banner -v error -i " + Quote(file) +
        " -fps_mode passthrough -enc_time_base -1 -f null -");
    EXPECT_EQ(read.status, 0);
    EXPECT_EQ(read.err, "");
}

struct Source {
    const char* id;
    std::vector<double> markers;  // seconds
};

const Source kSources[] = {
    {"sync_markers", {1.0, 5.0, 9.0}},
    {"sync_markers_2997", {1.001, 5.005, 9.009}},
};

// Every distinct profile with pictures and sound.
std::vector<int> pictureAndSoundProfiles() {
    std::vector<int> out;
    for (int index : profileruns::profileIndexes(true))
        if (!formats::FindProfile(index)->audioOnly) out.push_back(index);
    return out;
}

using ProfileCase = std::tuple<int, size_t>;  // profile, index into kSources

class ProfileSync : public ::testing::TestWithParam<ProfileCase> {};

TEST_P(ProfileSync, BeepsComeWithTheirFlashes) {
    const auto [profile, which] = GetParam();
    const Source& src = kSources[which];
    profileruns::Conversion run;
    run.profile = profile;
    run.outDir = testsupport::ScratchDir("sync-" + std::to_string(profile));
    profileruns::convert(run, testmedia::Path(src.id));
    ASSERT_TRUE(run.finished) << profileruns::describe(run, {run.error});
    expectInSync(run.output, src.markers);
}

INSTANTIATE_TEST_SUITE_P(
    EveryProfile, ProfileSync,
    ::testing::Combine(::testing::ValuesIn(pictureAndSoundProfiles()),
                       ::testing::Range<size_t>(0, std::size(kSources))),
    [](const ::testing::TestParamInfo<ProfileCase>& info) {
        return "P" + std::to_string(std::get<0>(info.param)) +
               (std::get<1>(info.param) == 0 ? "_25fps_44k" : "_2997fps_48k");
    });

// Cuts and joins into outputs of every family whose timing differs: AVI (pictures and sound
// counted from one start), MP4 (edit lists), FLV (millisecond stamps) and SWF (counted, no stamps).
struct Edit {
    const char* name;
    const char* inputs;  // the command line's inputs; SRC stands for the marker clip
    std::vector<double> markers;
};
const Edit kEdits[] = {
    // From 2.5 s: the markers of 5 and 9 s come at 2.5 and 6.5 s.
    {"CutBetweenMarkers", "-ss 2.5 -i SRC", {2.5, 6.5}},
    // The same 10 s clip twice: markers at 1, 5, 9, then 11, 15, 19 s.
    {"TwoJoinedClips", "--join -i SRC -i SRC", {1, 5, 9, 11, 15, 19}},
};
struct Output {
    const char* name;  // the file name extension, then what sets the output apart
    const char* options;
};
const Output kOutputs[] = {
    {"avi_mpeg4", "-vcodec mpeg4 -qscale 4 -acodec libmp3lame -ab 128k"},
    {"avi_h264", "-vcodec libx264 -b 800k -acodec libmp3lame -ab 128k"},
    {"mp4", "-vcodec libx264 -b 800k -acodec aac -ab 128k"},
    {"flv", "-vcodec flv -b 800k -acodec libmp3lame -ab 64k -ar 22050"},
    {"swf", "-vcodec flv -b 800k -acodec libmp3lame -ab 64k -ar 22050"},
};

using EditCase = std::tuple<size_t, size_t>;  // indexes into kEdits and kOutputs

class SyncEdits : public ::testing::TestWithParam<EditCase> {};

TEST_P(SyncEdits, MarkersStayTogetherAcrossTheEdit) {
    const Edit& edit = kEdits[std::get<0>(GetParam())];
    const Output& o = kOutputs[std::get<1>(GetParam())];
    std::string inputs = edit.inputs;
    for (size_t at; (at = inputs.find("SRC")) != std::string::npos;)
        inputs.replace(at, 3, Quote(testmedia::Path("sync_markers")));
    const std::string ext = std::string(o.name).substr(0, 3);
    const std::string out = testsupport::ScratchDir("edit") + "/out." + ext;
    const auto r = testsupport::Cli("transcode --progress none " + inputs + " " + o.options + " " +
                                    Quote(out));
    ASSERT_EQ(r.status, 0) << r.err;
    expectInSync(out, edit.markers);
}

INSTANTIATE_TEST_SUITE_P(CutsAndJoins, SyncEdits,
                         ::testing::Combine(::testing::Range<size_t>(0, std::size(kEdits)),
                                            ::testing::Range<size_t>(0, std::size(kOutputs))),
                         [](const ::testing::TestParamInfo<EditCase>& info) {
                             return std::string(kEdits[std::get<0>(info.param)].name) + "_" +
                                    kOutputs[std::get<1>(info.param)].name;
                         });

}  // namespace
