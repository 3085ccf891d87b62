// Shared main of every test program: a private HOME and settings folder, no password lock, a
// local update address, headless Qt and SDL.
#include <stdlib.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "SanitizerDefaults.h"

int main(int argc, char** argv) {
    std::string base = std::filesystem::temp_directory_path() / "tandrel-test-XXXXXX";
    if (!::mkdtemp(base.data())) return 99;
    const std::string home = base + "/home";
    const std::string config = base + "/config";
    std::filesystem::create_directories(home);
    std::filesystem::create_directories(config);
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    ::setenv("TANDREL_CONFIG_DIR", config.c_str(), 1);
    ::setenv("TANDREL_TEST_TMP", base.c_str(), 1);
    // Never the machine's password lock or the maker's update server: a lock file that does
    // not exist, and a version file address inside the private folder.
    ::setenv("TANDREL_LOCK_FILE", (base + "/lock/lock.ini").c_str(), 1);
    ::setenv("TANDREL_UPDATE_URL", ("file://" + base + "/update-server/update.ini").c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    ::testing::InitGoogleMock(&argc, argv);
    const int rc = RUN_ALL_TESTS();
    std::error_code ec;
    std::filesystem::remove_all(base, ec);
    return rc;
}
