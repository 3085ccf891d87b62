// External hook libraries: argument splitting, loading (once per file), entry points,
// configuration and release, and the option's refusal texts.
#include <filesystem>

#include <gtest/gtest.h>
#include <unistd.h>

#include "HookTestSupport.h"
#include "TestSupport.h"
#include "engine/FFmpeg.h"
#include "engine/FrameHook.h"
#include "engine/MainThread.h"
#include "medialib/LibAV.h"

namespace fs = std::filesystem;
using namespace hooktest;

namespace {

class HookLibraries : public ::testing::Test {
protected:
    void SetUp() override {
        mainthread::SetUiThread();
        testsupport::LoadLibrariesOrFail();
    }
    // The text of the error that "vhook" with `value` raises, "" when it is accepted.
    static std::string optionError(TCustomFFmpeg& task, const std::string& value) {
        try {
            task.SetOption("vhook", value);
            return "";
        } catch (const std::exception& e) {
            return e.what();
        }
    }
    static int call(const char* name) {
        using Fn = int (*)();
        auto fn = reinterpret_cast<Fn>(HookSymbol(HookLibrary("invert"), name));
        return fn ? fn() : -1;
    }
    static std::string lastArguments() {
        using Fn = const char* (*)();
        auto fn =
            reinterpret_cast<Fn>(HookSymbol(HookLibrary("invert"), "hooktest_last_arguments"));
        return fn ? fn() : "<not loaded>";
    }
};

}  // namespace

TEST_F(HookLibraries, ArgumentsAreSplitAtBarsWhenThereAreAnyElseAtBlanks) {
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitHookArguments("/a/lib.so|one two|three"), (V{"/a/lib.so", "one two", "three"}));
    EXPECT_EQ(SplitHookArguments("/a/lib.so one  two\tthree"),
              (V{"/a/lib.so", "one", "two", "three"}));
    EXPECT_EQ(SplitHookArguments("||/a/lib.so|||x|"), (V{"/a/lib.so", "x"}));
    EXPECT_EQ(SplitHookArguments("/a/lib.so"), (V{"/a/lib.so"}));
    EXPECT_TRUE(SplitHookArguments("").empty());
    EXPECT_TRUE(SplitHookArguments("   ").empty());
    std::string many = "/a/lib.so";
    for (int i = 0; i < 300; ++i) many += " a" + std::to_string(i);
    const V split = SplitHookArguments(many);
    ASSERT_EQ(split.size(), 255u);  // the library and 254 arguments
    EXPECT_EQ(split.back(), "a253");
}

TEST_F(HookLibraries, ConfigureSeesTheArgumentsAndReleaseRunsOncePerHook) {
    const std::string lib = HookLibrary("invert");
    const int configuresBefore = call("hooktest_configures");  // -1: not loaded yet
    {
        TExternalHooks hooks;
        std::vector<std::string> log;
        auto logTo = [&](TLogLevel, const std::string& line) { log.push_back(line); };
        ASSERT_EQ(hooks.Add(lib + "|alpha|beta gamma", logTo), 0);
        EXPECT_EQ(lastArguments(), lib + "\nalpha\nbeta gamma");
        ASSERT_EQ(hooks.Add(lib + " delta", logTo), 0);
        EXPECT_EQ(lastArguments(), lib + "\ndelta");
        EXPECT_EQ(call("hooktest_configures"), std::max(configuresBefore, 0) + 2);
        EXPECT_TRUE(log.empty());
        const int releasesBefore = call("hooktest_releases");
        hooks.Release();
        EXPECT_EQ(call("hooktest_releases"), releasesBefore + 2);
        hooks.Release();  // nothing left: no second Release of a context
        EXPECT_EQ(call("hooktest_releases"), releasesBefore + 2);
        EXPECT_TRUE(hooks.Empty());
    }
    // A task that is never run still releases what it configured, once.
    const int releasesBefore = call("hooktest_releases");
    {
        TCustomFFmpeg task;
        EXPECT_EQ(optionError(task, lib), "");
    }
    EXPECT_EQ(call("hooktest_releases"), releasesBefore + 1);
}

TEST_F(HookLibraries, RefusedHooksSayWhy) {
    LogCapture log;
    TCustomFFmpeg task;
    struct Case {
        std::string value, logged;
    };
    const std::string text = testsupport::ScratchDir("refusals") + "/notalibrary.so";
    testsupport::WriteFile(text, "just text\n");
    const Case cases[] = {
        {HookLibrary("noprocess"),
         "Failed to find Process entrypoint in " + HookLibrary("noprocess")},
        {HookLibrary("noconfigure") + "|x",
         "Failed to find Configure entrypoint in " + HookLibrary("noconfigure")},
        {HookLibrary("invert") + "|refuse", "Failed to Configure " + HookLibrary("invert")},
        {"/nonexistent/hook.so", "/nonexistent/hook.so: No such file or directory"},
        {text, "notalibrary.so"},  // the loader's own reason names the file
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(optionError(task, c.value), "Failed to add video hook function: " + c.value);
        TFFLogger::Flush();
        EXPECT_TRUE(log.Contains(c.logged)) << "logged: " << ::testing::PrintToString(log.Lines());
    }
    EXPECT_EQ(optionError(task, ""), "Failed to add video hook function: ");
    // Without arguments a library may leave Configure out.
    EXPECT_EQ(optionError(task, HookLibrary("noconfigure")), "");
    EXPECT_TRUE(task.FrameHooks().HasExternalHooks());
}

TEST_F(HookLibraries, ALibraryIsLoadedOnceWhateverPathNamesIt) {
    const std::string lib = HookLibrary("invert");
    const std::string dir = testsupport::ScratchDir("links");
    const std::string link = dir + "/other-name.so";
    fs::create_symlink(lib, link);
    const int before = LoadedHookLibraryCount();
    const bool loadedBefore = call("hooktest_loads") > 0;
    std::vector<std::unique_ptr<TExternalHooks>> tasks;
    for (const std::string& path : {lib, link, dir + "/../links/other-name.so", lib}) {
        tasks.push_back(std::make_unique<TExternalHooks>());
        ASSERT_EQ(tasks.back()->Add(path, [](TLogLevel, const std::string&) {}), 0) << path;
        tasks.back()->Release();  // the library stays loaded for the next task
    }
    // A relative name is resolved against the working folder, never searched for.
    const fs::path cwd = fs::current_path();
    fs::current_path(dir);
    TExternalHooks relative;
    EXPECT_EQ(relative.Add("./other-name.so", [](TLogLevel, const std::string&) {}), 0);
    std::vector<std::string> log;
    EXPECT_EQ(
        relative.Add("libinvert.so", [&](TLogLevel, const std::string& l) { log.push_back(l); }),
        -1);
    fs::current_path(cwd);
    EXPECT_EQ(LoadedHookLibraryCount(), before + (loadedBefore ? 0 : 1));
    EXPECT_EQ(call("hooktest_loads"), 1);  // its constructor ran once: never unloaded
}
