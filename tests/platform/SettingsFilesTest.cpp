// The settings file handling and the program's folders: what a user's system.ini looks like
// after the program has read and written it, and where the program looks for its files.
#include <QDir>
#include <QFileInfo>
#include <cstdlib>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "TestSupport.h"
#include "platform/AppPaths.h"
#include "platform/IniFile.h"

using platform::IniFile;
namespace paths = platform::AppPaths;

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// Sets an environment variable for the scope of one test.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old, had_ = true;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() { had_ ? ::setenv(name_, old_.c_str(), 1) : ::unsetenv(name_); }

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

}  // namespace

TEST(IniFile, NamesAreCaseInsensitiveAndValuesExact) {
    const std::string path = testsupport::ScratchDir("ini") + "/system.ini";
    testsupport::WriteFile(path,
                           "\xEF\xBB\xBF; written by hand\r\n[OutPath]\r\nOutPath = /srv/Vid eo,a "
                           "\r\n\r\n[skin]\r\nSetSkin=skin17\r\nEmpty=\r\n");
    IniFile ini(Q(path));
    EXPECT_EQ(ini.ReadString("outpath", "OUTPATH", "Error"), "/srv/Vid eo,a");
    EXPECT_EQ(ini.ReadString("SKIN", "setskin", "Error"), "skin17");
    EXPECT_EQ(ini.ReadString("skin", "Empty", "Error"), "");
    EXPECT_EQ(ini.ReadString("skin", "Missing", "Error"), "Error");
    EXPECT_EQ(ini.ReadString("SnapShot", "Dir", "Error"), "Error");
    EXPECT_TRUE(ini.HasSection("Skin"));
    EXPECT_EQ(ini.Keys("skin"), QStringList({"SetSkin", "Empty"}));
}

TEST(IniFile, WritingKeepsEverythingElseAndCreatesWhatIsMissing) {
    const std::string dir = testsupport::ScratchDir("ini-write") + "/sub/folder";
    const std::string path = dir + "/system.ini";
    IniFile ini(Q(path));
    EXPECT_FALSE(ini.Exists());
    EXPECT_EQ(ini.ReadString("OutPath", "OutPath", "Error"), "Error");

    // A missing file and folder are created.
    ASSERT_TRUE(ini.WriteString("OutPath", "OutPath", U("/home/u/Video_Directory")));
    ASSERT_TRUE(ini.WriteString("SnapShot", "Dir", U("/home/u/Video_Directory/快照")));
    ASSERT_TRUE(ini.WriteString("snapshot", "Picture", "BMP"));
    // An existing key keeps its place and its first spelling is replaced.
    ASSERT_TRUE(ini.WriteString("OUTPATH", "outpath", U("/data/视频")));
    EXPECT_EQ(testsupport::ReadFile(path),
              "[OutPath]\noutpath=/data/视频\n[SnapShot]\nDir=/home/u/Video_Directory/快照\n"
              "Picture=BMP\n");

    // Comments, blank separators and unknown keys survive a write.
    testsupport::WriteFile(path,
                           "; mine\n[skin]\nSetSkin=skin2\nOther=1\n\n[OutPath]\nOutPath=/a\n");
    ASSERT_TRUE(ini.WriteString("skin", "Extra", "x"));
    ASSERT_TRUE(ini.WriteString("skin", "SetSkin", "skin5"));
    EXPECT_EQ(testsupport::ReadFile(path),
              "; mine\n[skin]\nSetSkin=skin5\nOther=1\nExtra=x\n\n[OutPath]\nOutPath=/a\n");
    ASSERT_TRUE(ini.DeleteKey("SKIN", "other"));
    EXPECT_EQ(ini.ReadString("skin", "Other", "gone"), "gone");
    EXPECT_EQ(ini.ReadString("skin", "Extra"), "x");

    // No temporary file is left beside it.
    EXPECT_EQ(QDir(Q(dir)).entryList(QDir::Files | QDir::Hidden), QStringList({"system.ini"}));
}

TEST(IniFile, WhatCannotBeReadIsNeverReplaced) {
    // A folder in the file's place: reads give the fallback, writes fail and change nothing.
    const std::string dir = testsupport::ScratchDir("ini-odd");
    ASSERT_TRUE(QDir().mkpath(Q(dir + "/system.ini/inside")));
    IniFile folder(Q(dir + "/system.ini"));
    EXPECT_EQ(folder.ReadString("OutPath", "OutPath", "Error"), "Error");
    EXPECT_FALSE(folder.WriteString("OutPath", "OutPath", "/other"));
    EXPECT_TRUE(QFileInfo(Q(dir + "/system.ini/inside")).isDir());

    // A regular file where the folder should be: the write fails and says so.
    testsupport::WriteFile(dir + "/plain", "x");
    EXPECT_FALSE(IniFile(Q(dir + "/plain/system.ini")).WriteString("a", "b", "c"));
    EXPECT_EQ(testsupport::ReadFile(dir + "/plain"), "x");

    // The user's own file that it may write but not read: reads give the fallback, writes fail
    // and change nothing (a replacement written without the old lines would lose them).
    const std::string path = testsupport::UnprivilegedDir("ini-unreadable") + "/locked.ini";
    testsupport::WriteFile(path, "[OutPath]\nOutPath=/keep\n");
    if (::geteuid() == 0) {
        const unsigned id = testsupport::kUnprivilegedId;
        ASSERT_EQ(::chown(path.c_str(), id, id), 0);
    }
    ASSERT_EQ(::chmod(path.c_str(), 0200), 0);
    testsupport::AsUnprivilegedUser([&] {
        ASSERT_NE(::access(path.c_str(), R_OK), 0) << "the file is readable after all";
        IniFile locked(Q(path));
        EXPECT_EQ(locked.ReadString("OutPath", "OutPath", "Error"), "Error");
        EXPECT_FALSE(locked.WriteString("OutPath", "OutPath", "/other"));
    });
    EXPECT_EQ(testsupport::ReadFile(path), "[OutPath]\nOutPath=/keep\n");
}

TEST(AppPaths, SettingsFolderAndDefaultFolders) {
    const std::string base = testsupport::ScratchDir("paths");
    ScopedEnv home("HOME", base + "/home");
    {
        ScopedEnv config("TANDREL_CONFIG_DIR", base + "/cfg/");
        EXPECT_EQ(paths::SettingsFile(), Q(base + "/cfg/system.ini"));
    }
    {
        ScopedEnv config("TANDREL_CONFIG_DIR", "");
        ScopedEnv xdg("XDG_CONFIG_HOME", base + "/xdg");
        EXPECT_EQ(paths::ConfigDir(), Q(base + "/xdg/tandrel"));
        ScopedEnv relative("XDG_CONFIG_HOME", "relative/dir");
        EXPECT_EQ(paths::ConfigDir(), Q(base + "/home/.config/tandrel"));
    }
    EXPECT_EQ(paths::DefaultOutputFolder(), Q(base + "/home/Video_Directory"));
    EXPECT_EQ(paths::DefaultSnapshotFolder(), Q(base + "/home/Video_Directory/") + U("快照"));

    EXPECT_TRUE(paths::IsUsableStoredFolder("/srv/out"));
    for (const char* bad : {"", "Error", "C:\\Video_Directory", "Video_Directory", "~/x"})
        EXPECT_FALSE(paths::IsUsableStoredFolder(bad)) << bad;
}

TEST(AppPaths, DataFolderOverrideAndFallback) {
    const std::string base = testsupport::ScratchDir("data");
    {
        ScopedEnv data("TANDREL_DATA_DIR", base + "/share/tandrel");
        EXPECT_EQ(paths::DataFile("sounds/cam.wav"), Q(base + "/share/tandrel/sounds/cam.wav"));
    }
    ScopedEnv data("TANDREL_DATA_DIR", "");
    // A test program's folder has no data folders and no installed tree beside it.
    EXPECT_EQ(paths::DataDir(), paths::ExecutableDir());
    EXPECT_EQ(paths::LibAVDir(), paths::ExecutableDir() + "/LibAV");
    EXPECT_TRUE(QFileInfo(paths::ExecutableDir()).isDir());
}
