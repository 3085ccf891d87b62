// Every command's usage errors as a script meets them: exit status 2, the reason on standard
// error, nothing on standard output, no file written; asked for, the usage text goes to standard
// output with status 0 and nothing on standard error.
#include <string>

#include <gtest/gtest.h>

#include "CliTestSupport.h"
#include "TestMedia.h"
#include "TestSupport.h"

using testmedia::Quote;

namespace {

struct UsageCase {
    std::string args;
    int status;
    std::string err;  // standard error contains it; empty: standard error is empty
    std::string out;  // standard output starts with it; empty: standard output is empty
};

TEST(CliUsage, ErrorsExitTwoSayWhyAndWriteNothing) {
    const std::string dir = testsupport::ScratchDir("usage");
    const std::string wav = Quote(testmedia::Path("wav_pcm"));
    const std::string avi = Quote(testmedia::Path("avi_mpeg4_mp3"));
    const std::string clip = Quote(testmedia::Path("intra25"));
    const std::string o = " --out " + Quote(dir) + " ";
    const std::string out = Quote(dir + "/out.avi");
    const std::string lock = " --file " + Quote(dir + "/l.ini");
    const char transcodeUsage[] = "Usage: tandrel-cli transcode [--progress bar|lines|json|none]";
    const UsageCase cases[] = {
        // The program as a whole.
        {"", 2, "", "Usage: tandrel-cli COMMAND [optio"},
        {"nosuchcommand", 2, "tandrel-cli: unknown command 'nosuchcommand'", ""},
        // probe
        {"probe", 2, "Usage: tandrel-cli probe", ""},
        {"probe --no-such-option " + wav, 2, "no-such-option", ""},
        {"probe --help", 0, "", "Usage: tandrel-cli probe"},
        // convert
        {"convert" + o + wav, 2, "--profile is required", ""},
        {"convert --profile 25" + o + wav, 2, "no profile 25", ""},
        {"convert --profile abc" + o + wav, 2, "no profile abc", ""},
        {"convert --profile 300" + o, 2, "no FILE given", ""},
        {"convert --profile 300 --jobs 0" + o + wav, 2, "--jobs", ""},
        {"convert --profile 300 --set bitrate=128" + o + wav, 2, "--set takes SLOT=TEXT", ""},
        {"convert --profile 300 --set abitrate=129" + o + wav, 2,
         "abitrate '129' is not in the list AB1", ""},
        {"convert --profile 300 --set abitrate=#17" + o + wav, 2, "not in the list", ""},
        {"convert --profile 1 --filters hflip,blur" + o + wav, 2, "unknown filter 'blur'", ""},
        {"convert --profile 300 --filters hflip" + o + wav, 2, "has no video", ""},
        {"convert --profile 1 --cut 00:00:01" + o + wav, 2, "--cut takes", ""},
        {"convert --profile 1 --cut 0:0:1-0:0:x" + o + wav, 2, "--cut takes", ""},
        {"convert --profile 1 --cut 00:00:00-00:00:01" + o + wav + " " + wav, 2, "single FILE", ""},
        {"convert --profile 1 --progress fancy" + o + wav, 2, "--progress", ""},
        {"convert --profile 1 --bogus" + o + wav, 2, "bogus", ""},
        {"convert --help", 0, "", "Usage: tandrel-cli convert --profile N"},
        // transcode
        {"transcode", 2, transcodeUsage, ""},
        {"transcode --progress", 2, transcodeUsage, ""},
        {"transcode --progress xml -i " + avi + " " + out, 2,
         "tandrel-cli transcode: unknown progress form 'xml'", ""},
        {"transcode -i " + avi, 2,
         "tandrel-cli transcode: at least one input (-i FILE) and one output file are needed", ""},
        {"transcode " + out + " -i " + avi, 2,
         "tandrel-cli transcode: no input before '" + dir + "/out.avi'", ""},
        {"transcode -i " + avi + " -vcodec", 2, "tandrel-cli transcode: -vcodec needs a value", ""},
        {"transcode --help", 0, "", transcodeUsage},
        // play and snapshot
        {"play", 2, "Usage: tandrel-cli play", ""},
        {"play a.mp4 --seconds soon", 2, "Usage: tandrel-cli play", ""},
        {"play a.mp4 b.mp4", 2, "Usage: tandrel-cli play", ""},
        {"play --help", 0, "", "Usage: tandrel-cli play"},
        {"snapshot " + clip + " --format png" + o, 2, "Usage: tandrel-cli snapshot", ""},
        {"snapshot " + clip + " --at 1 --format tiff" + o, 2, "Usage: tandrel-cli snapshot", ""},
        // lock
        {"lock" + lock, 2, "Usage: tandrel-cli lock", ""},
        {"lock set" + lock, 2, "Usage: tandrel-cli lock", ""},
        {"lock set a b" + lock, 2, "Usage: tandrel-cli lock", ""},
        {"lock clear x" + lock, 2, "Usage: tandrel-cli lock", ""},
        {"lock open" + lock, 2, "Usage: tandrel-cli lock", ""},
        {"lock --bogus" + lock, 2, "tandrel-cli lock: Unknown option 'bogus'", ""},
        {"lock --help", 0, "", "Usage: tandrel-cli lock"},
        // libs
        {"libs extra", 2, "Usage: tandrel-cli libs\n", ""},
        {"libs --help", 0, "", "Usage: tandrel-cli libs\n"},
    };
    for (const UsageCase& c : cases) {
        SCOPED_TRACE("tandrel-cli " + c.args);
        const testsupport::CommandResult r = testsupport::Cli(c.args);
        EXPECT_EQ(r.status, c.status);
        if (c.err.empty())
            EXPECT_EQ(r.err, "");
        else
            EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        if (c.out.empty())
            EXPECT_EQ(r.out, "");
        else
            EXPECT_EQ(r.out.substr(0, c.out.size()), c.out);
        EXPECT_TRUE(clitest::FilesIn(dir).empty());
    }
}

}  // namespace
