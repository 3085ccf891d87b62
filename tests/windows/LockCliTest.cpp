// tandrel-cli lock: writes and removes the lock file that the password window reads.
#include <QFileInfo>
#include <QString>
#include <cstdlib>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "TestSupport.h"
#include "platform/PasswordLock.h"

namespace {

using testsupport::Cli;

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

TEST(LockCli, SetStatusAndClearWithFile) {
    const std::string file = testsupport::ScratchDir("cli") + "/etc/tandrel/lock.ini";
    EXPECT_EQ(Cli("lock status --file '" + file + "'").out, "off\n");

    auto r = Cli("lock set 'ab1' --file '" + file + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    // 'a' 0x61, 'b' 0x62, '1' 0x31, each XOR 0x5A.
    EXPECT_EQ(testsupport::ReadFile(file), "[Check_PsP]\nps=3b386b\n");
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    EXPECT_EQ(Cli("lock status --file '" + file + "'").out, "on\n");
    // What the password window reads from it.
    const platform::lock::Lock lock = platform::lock::ReadLock(Q(file));
    EXPECT_TRUE(platform::lock::Accepts(lock, QStringLiteral("ab1")));
    EXPECT_FALSE(platform::lock::Accepts(lock, QStringLiteral("ab2")));

    // From standard input, not on the command line.
    const std::string typed = file + ".typed";
    testsupport::WriteFile(typed, "密码\n");
    r = Cli("lock set - --file '" + file + "' <'" + typed + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(
        platform::lock::Accepts(platform::lock::ReadLock(Q(file)), QString::fromUtf8("密码")));

    r = Cli("lock clear --file '" + file + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(QFileInfo::exists(Q(file)));
    EXPECT_EQ(Cli("lock clear --file '" + file + "'").status, 0);  // nothing left to clear
}

TEST(LockCli, TheEnvironmentChoosesTheDefaultFile) {
    const std::string file = testsupport::ScratchDir("env") + "/lock.ini";
    ::setenv("TANDREL_LOCK_FILE", file.c_str(), 1);
    ASSERT_EQ(Cli("lock set secret").status, 0);
    EXPECT_TRUE(
        platform::lock::Accepts(platform::lock::ReadLock(Q(file)), QStringLiteral("secret")));
    ASSERT_EQ(Cli("lock clear").status, 0);
    EXPECT_FALSE(QFileInfo::exists(Q(file)));
}

TEST(LockCli, AFolderInTheWayIsAFailure) {
    const std::string dir = testsupport::ScratchDir("bad");
    // A folder in the way: reported, nothing removed.
    const auto r = Cli("lock clear --file '" + dir + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("not a file"), std::string::npos) << r.err;
    EXPECT_TRUE(QFileInfo(Q(dir)).isDir());
    EXPECT_EQ(Cli("lock set x --file '" + dir + "'").status, 1);
}
