// tandrel-cli libs: which libraries were bound, compared with what the ffmpeg program (built on
// the same system libraries) and pkg-config report, and a copy of the program with a LibAV folder
// whose library is unfit, which must fail with the reason.
#include <filesystem>
#include <map>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "CliTestSupport.h"
#include "TestMedia.h"
#include "TestSupport.h"

namespace fs = std::filesystem;
using testsupport::Cli;

namespace {

// "libavutil      57. 28.100 / 57. 28.100" → {"avutil", "57.28.100"} (the run-time version).
std::map<std::string, std::string> referenceVersions() {
    std::string out;
    EXPECT_EQ(testsupport::Run("ffmpeg -hide_banner -version", &out), 0);
    std::map<std::string, std::string> versions;
    const std::regex line(R"(^lib(\w+)\s+\d+\.\s*\d+\.\s*\d+ / +(\d+)\.\s*(\d+)\.\s*(\d+))");
    for (const std::string& l : clitest::Lines(out)) {
        std::smatch m;
        if (std::regex_search(l, m, line))
            versions[m[1]] = m[2].str() + "." + m[3].str() + "." + m[4].str();
    }
    return versions;
}

// A copy of tandrel-cli in its own folder, with `fake` (a stand-in libavutil) in its LibAV
// folder; the copy's path.
std::string cliWithLibAV(const std::string& name, const std::string& fake) {
    const fs::path app = fs::path(testsupport::ScratchDir(name));
    fs::copy_file(TANDREL_CLI, app / "tandrel-cli");
    fs::create_directories(app / "LibAV");
    fs::copy_file(fs::path(FAKELIBS_DIR) / fake / "libavutil.so.57",
                  app / "LibAV" / "libavutil.so.57");
    return (app / "tandrel-cli").string();
}

TEST(LibsCli, ListsEveryLibraryWithTheSystemsVersions) {
    const testsupport::CommandResult r = Cli("libs");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const auto reference = referenceVersions();
    const auto lines = clitest::Lines(r.out);
    const struct {
        const char* name;
        const char* file;
    } libraries[] = {
        {"avutil", "libavutil.so.57"},     {"swresample", "libswresample.so.4"},
        {"swscale", "libswscale.so.6"},    {"avcodec", "libavcodec.so.59"},
        {"avformat", "libavformat.so.59"}, {"avfilter", "libavfilter.so.8"},
    };
    ASSERT_EQ(lines.size(), std::size(libraries) + 1);  // and SDL
    for (size_t i = 0; i < std::size(libraries); ++i) {
        SCOPED_TRACE(lines[i]);
        const std::string name = libraries[i].name;
        ASSERT_TRUE(reference.count(name)) << name;
        EXPECT_EQ(lines[i].substr(0, name.size() + 1), name + " ");
        EXPECT_NE(lines[i].find(std::string(" ") + libraries[i].file + " "), std::string::npos);
        EXPECT_EQ(lines[i].substr(lines[i].rfind(' ') + 1), reference.at(name));
    }
    std::string sdl;
    ASSERT_EQ(testsupport::Run("pkg-config --modversion sdl2", &sdl), 0);
    EXPECT_NE(lines.back().find("libSDL2-2.0.so.0"), std::string::npos);
    EXPECT_EQ(lines.back().substr(lines.back().rfind(' ') + 1) + "\n", sdl);
}

TEST(LibsCli, UnfitLibraryInTheLibAVFolderFailsWithTheReason) {
    for (const char* fake : {"old", "noentries"}) {
        SCOPED_TRACE(fake);
        const std::string copy = cliWithLibAV(std::string("app-") + fake, fake);
        const std::string library = fs::path(copy).parent_path() / "LibAV" / "libavutil.so.57";
        // The loader's own words, naming the file it refused.
        const std::string reason =
            std::string(fake) == "old"
                ? "tandrel-cli: Load library " + library +
                      " error: version 57.0.100 found, 57.28 or a later 57.x required\n"
                : "tandrel-cli: Load function av_version_info@libavutil.so.57 error: " + library +
                      ": undefined symbol: av_version_info\n";
        const testsupport::CommandResult libs =
            testsupport::RunCapturing(testmedia::Quote(copy) + " libs");
        EXPECT_EQ(libs.status, 1);
        EXPECT_EQ(libs.err, reason);
        ASSERT_FALSE(libs.out.empty());
        EXPECT_NE(clitest::Lines(libs.out)[0].find("run time not loaded"), std::string::npos);

        // The commands that convert fail the same way, before touching any file.
        const std::string dir = testsupport::ScratchDir(std::string("out-") + fake);
        const testsupport::CommandResult transcode =
            testsupport::RunCapturing(testmedia::Quote(copy) + " transcode -i " +
                                      testmedia::Quote(testmedia::Path("avi_mpeg4_mp3")) + " " +
                                      testmedia::Quote(dir + "/out.avi"));
        EXPECT_EQ(transcode.status, 1);
        EXPECT_EQ(transcode.err, reason);
        EXPECT_TRUE(clitest::FilesIn(dir).empty());
    }
}

}  // namespace
