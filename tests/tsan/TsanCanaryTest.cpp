// The ThreadSanitizer build must still see races in our own callbacks when the media libraries
// call them: a suppression or option broad enough to hide them fails these tests. Each case runs
// tsan_canary_child under the settings the suite runs with (the environment's TSAN_OPTIONS on top
// of the compiled-in defaults, tests/tsan.supp) and reads its report.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "TestMedia.h"
#include "TestSupport.h"

namespace {

testsupport::CommandResult runChild(const std::string& args) {
    // Only where the report goes and how the child exits are set here.
    const char* inherited = std::getenv("TSAN_OPTIONS");
    const std::string options =
        std::string(inherited ? inherited : "") + " log_path=stderr exitcode=66";
    return testsupport::RunCapturing("TSAN_OPTIONS=" + testmedia::Quote(options) + " " +
                                     testmedia::Quote(TANDREL_TSAN_CANARY) + " " + args);
}

void expectRaceIn(const std::string& args, const std::string& function) {
    const testsupport::CommandResult r = runChild(args);
    EXPECT_EQ(r.status, 66) << r.err;
    EXPECT_NE(r.err.find("WARNING: ThreadSanitizer: data race"), std::string::npos) << r.err;
    // The report is about our counter, reached through the library's call of our callback.
    EXPECT_NE(r.err.find("gCounter"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(function), std::string::npos) << r.err;
}

void expectClean(const std::string& args) {
    const testsupport::CommandResult r = runChild(args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("ThreadSanitizer"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find(" calls"), std::string::npos);
}

TEST(TsanCanary, RaceInALogCallbackIsReported) { expectRaceIn("log", "CanaryLogCallback"); }

TEST(TsanCanary, RaceInAReadCallbackIsReported) { expectRaceIn("io", "CanaryReadCallback"); }

// The same runs with the counter under a lock: the libraries' own work in them is not reported.
TEST(TsanCanary, LockedCallbacksAreClean) {
    expectClean("log locked");
    expectClean("io locked");
}

}  // namespace
