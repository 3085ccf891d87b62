// The password lock file: read-only checks, the scrambling, and writing it for the command line.
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <cstdlib>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "TestSupport.h"
#include "platform/PasswordLock.h"

using namespace platform::lock;

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

std::string LockPath(const char* name = "lock.ini") {
    return testsupport::ScratchDir("lock") + "/" + name;
}

mode_t Mode(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

}  // namespace

TEST(PasswordLock, ScramblingIsEveryUtf8ByteXorTheKeyByteAsHex) {
    EXPECT_EQ(kKeyByte, 0x5A);
    // 'a' 0x61 ^ 0x5A = 0x3b, 'b' 0x62 ^ 0x5A = 0x38, '1' 0x31 ^ 0x5A = 0x6b.
    EXPECT_EQ(ScrambledHex(QStringLiteral("ab1")), QStringLiteral("3b386b"));
    // "密" is E5 AF 86 in UTF-8: bf f5 dc.
    EXPECT_EQ(ScrambledHex(QString::fromUtf8("密")), QStringLiteral("bff5dc"));
    EXPECT_EQ(ScrambledHex(QString()), QString());
    // The master password: six lower-case letters.
    const QString master = QLatin1String(kMasterPassword);
    EXPECT_EQ(master.size(), 6);
    for (QChar c : master) EXPECT_TRUE(c >= u'a' && c <= u'z') << master.toStdString();
}

TEST(PasswordLock, NoLockUnlessARegularFileHasTheSection) {
    const std::string dir = testsupport::ScratchDir("nolock");
    EXPECT_FALSE(ReadLock(Q(dir + "/missing.ini")).on);
    EXPECT_FALSE(QFileInfo::exists(Q(dir + "/missing.ini")));  // never created
    EXPECT_FALSE(ReadLock(Q(dir)).on);                         // a folder
    EXPECT_FALSE(ReadLock(QString()).on);
    testsupport::WriteFile(dir + "/other.ini", "[Other]\nps=3b\n");
    EXPECT_FALSE(ReadLock(Q(dir + "/other.ini")).on);
    // A FIFO is not read at all (reading it would wait for a writer forever).
    const std::string fifo = dir + "/fifo.ini";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_FALSE(ReadLock(Q(fifo)).on);
}

TEST(PasswordLock, StoredPasswordMasterPasswordAndEmptyValue) {
    const std::string path = LockPath();
    testsupport::WriteFile(path, "[check_psp]\nPS=3b386b\n");  // names in any letter case
    const int64_t mtime = testsupport::MTimeNs(path);
    const Lock lock = ReadLock(Q(path));
    ASSERT_TRUE(lock.on);
    ASSERT_TRUE(lock.scrambled.has_value());
    EXPECT_EQ(*lock.scrambled, QByteArray("\x3b\x38\x6b"));
    EXPECT_TRUE(Accepts(lock, QStringLiteral("ab1")));
    EXPECT_FALSE(Accepts(lock, QStringLiteral("ab")));
    EXPECT_FALSE(Accepts(lock, QStringLiteral("AB1")));
    EXPECT_FALSE(Accepts(lock, QString()));
    EXPECT_TRUE(Accepts(lock, QLatin1String(kMasterPassword)));
    // Reading changed nothing.
    EXPECT_EQ(testsupport::ReadFile(path), "[check_psp]\nPS=3b386b\n");
    EXPECT_EQ(testsupport::MTimeNs(path), mtime);

    // A lock without a stored password lets an empty entry through, and nothing else but the
    // master password.
    testsupport::WriteFile(path, "[Check_PsP]\n");
    const Lock empty = ReadLock(Q(path));
    ASSERT_TRUE(empty.on);
    EXPECT_TRUE(Accepts(empty, QString()));
    EXPECT_FALSE(Accepts(empty, QStringLiteral("x")));
    EXPECT_TRUE(Accepts(empty, QLatin1String(kMasterPassword)));
}

TEST(PasswordLock, AValueThatIsNotHexOpensOnlyWithTheMasterPassword) {
    const std::string path = LockPath();
    for (const char* value : {"3b38z", "3b3", "  zz"}) {
        testsupport::WriteFile(path, std::string("[Check_PsP]\nps=") + value + "\n");
        const Lock lock = ReadLock(Q(path));
        ASSERT_TRUE(lock.on) << value;
        EXPECT_FALSE(lock.scrambled.has_value()) << value;
        EXPECT_FALSE(Accepts(lock, QString())) << value;
        EXPECT_FALSE(Accepts(lock, QStringLiteral("ab"))) << value;
        EXPECT_TRUE(Accepts(lock, QLatin1String(kMasterPassword))) << value;
    }
}

TEST(PasswordLock, AnUnreadableLockStaysLocked) {
    // The administrator's file, which the user may see but not read.
    const std::string path = testsupport::UnprivilegedDir("unreadable") + "/lock.ini";
    testsupport::WriteFile(path, "[Check_PsP]\nps=\n");
    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    testsupport::AsUnprivilegedUser([&] {
        ASSERT_NE(::access(path.c_str(), R_OK), 0) << "the file is readable after all";
        const Lock lock = ReadLock(Q(path));
        EXPECT_TRUE(lock.on);
        // As written the check would read an empty password here and let an empty entry pass.
        EXPECT_FALSE(Accepts(lock, QString()));
        EXPECT_TRUE(Accepts(lock, QLatin1String(kMasterPassword)));
    });
}

TEST(PasswordLock, WriteAndClearForTheCommandLine) {
    const std::string dir = testsupport::ScratchDir("write") + "/etc/tandrel";
    const std::string path = dir + "/lock.ini";
    const mode_t old = ::umask(077);  // an administrator's strict umask
    QString error;
    const bool written = WriteLock(Q(path), QString::fromUtf8("密码1"), &error);
    ::umask(old);
    ASSERT_TRUE(written) << error.toStdString();
    // Readable by everyone (the program runs as an ordinary user), writable by the owner.
    EXPECT_EQ(Mode(path), 0644u);
    EXPECT_EQ(Mode(dir), 0755u);
    // "密码1" = E5 AF 86 E7 A0 81 31.
    EXPECT_EQ(testsupport::ReadFile(path), "[Check_PsP]\nps=bff5dcbdfadb6b\n");
    EXPECT_TRUE(Accepts(ReadLock(Q(path)), QString::fromUtf8("密码1")));

    // Setting again replaces the password.
    ASSERT_TRUE(WriteLock(Q(path), QStringLiteral("ab1"), &error));
    EXPECT_EQ(testsupport::ReadFile(path), "[Check_PsP]\nps=3b386b\n");

    ASSERT_TRUE(ClearLock(Q(path), &error));
    EXPECT_FALSE(QFileInfo::exists(Q(path)));
    EXPECT_FALSE(ReadLock(Q(path)).on);
    EXPECT_TRUE(ClearLock(Q(path), &error));  // nothing to clear is fine
    EXPECT_FALSE(ClearLock(Q(dir), &error));  // a folder is never removed
    EXPECT_TRUE(QFileInfo(Q(dir)).isDir());
}

TEST(PasswordLock, LockFileComesFromTheEnvironment) {
    ::unsetenv("TANDREL_LOCK_FILE");
    EXPECT_EQ(LockFile(), QStringLiteral("/etc/tandrel/lock.ini"));
    ::setenv("TANDREL_LOCK_FILE", "/tmp/x/lock.ini", 1);
    EXPECT_EQ(LockFile(), QStringLiteral("/tmp/x/lock.ini"));
    ::unsetenv("TANDREL_LOCK_FILE");
}
