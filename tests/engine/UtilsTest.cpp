#include <QStringList>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "TestSupport.h"
#include "engine/FFUtils.h"
#include "medialib/LibAV.h"

TEST(SizeText, ThresholdsAndRounding) {
    EXPECT_EQ(SizeToStr(0), "0 Byte");
    EXPECT_EQ(SizeToStr(1024), "1024 Byte");
    EXPECT_EQ(SizeToStr(1025), "1.00 KB");
    EXPECT_EQ(SizeToStr(1536), "1.50 KB");
    EXPECT_EQ(SizeToStr(1048576), "1024.00 KB");
    EXPECT_EQ(SizeToStr((1 << 20) + 1), "1.00 MB");
    EXPECT_EQ(SizeToStr((int64_t{1} << 30) + 1), "1.00 GB");
    EXPECT_EQ(SizeToStr(int64_t{5} << 40), "5120.00 GB");
}

TEST(TimeText, MicrosecondsAndNoTime) {
    EXPECT_EQ(DurationToStr(225123000), "00:03:45.123");
    EXPECT_EQ(DurationToStr(360000000000), "100:00:00.000");
    EXPECT_EQ(DurationToStr(0), "00:00:00.000");
    EXPECT_EQ(DurationToStr(AV_NOPTS_VALUE), "N/A");
}

TEST(ErrorText, KeyedOnTheLibraryCodes) {
    EXPECT_EQ(LibraryErrorText(AVERROR_INVALIDDATA), "Invalid data found when processing input");
    EXPECT_EQ(LibraryErrorText(AVERROR_EOF), "End of file");
    EXPECT_EQ(LibraryErrorText(AVERROR_PROTOCOL_NOT_FOUND), "Unsupported network protocol");
    EXPECT_EQ(LibraryErrorText(AVERROR_DEMUXER_NOT_FOUND), "Unknown format");
    EXPECT_EQ(LibraryErrorText(AVERROR_PATCHWELCOME), "Not yet implemented in FFmpeg");
    EXPECT_EQ(LibraryErrorText(AVERROR(ENOENT)), "No such file or directory");
    EXPECT_EQ(LibraryErrorText(AVERROR(ENOMEM)), "Not enough memory");
    EXPECT_EQ(LibraryErrorText(AVERROR(EIO)), "I/O error");
    EXPECT_EQ(LibraryErrorText(AVERROR(EINVAL)), "Invalid argument");
    EXPECT_EQ(LibraryErrorText(-1234), "Error number -1234 occurred");
}

TEST(Paths, SeparatorHelpersAndFileFacts) {
    EXPECT_EQ(IncludeTrailingPathDelimiter("/a/b"), "/a/b/");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/a/b/"), "/a/b/");
    EXPECT_EQ(ExtractFilePath("/a/b/c.mp4"), "/a/b/");
    EXPECT_EQ(ExtractFileName("/a/b/c.mp4"), "c.mp4");
    EXPECT_EQ(ExtractFilePath("c.mp4"), "");
    EXPECT_EQ(ExtractFileName("c.mp4"), "c.mp4");

    const std::string dir = testsupport::ScratchDir("paths");
    testsupport::WriteFile(dir + "/b.txt", "12345");
    testsupport::WriteFile(dir + "/a.mp4", "");
    testsupport::WriteFile(dir + "/.hidden.mp4", "x");
    std::filesystem::create_directory(dir + "/sub.mp4");
    const QString qdir = QString::fromStdString(dir);
    EXPECT_TRUE(FileExists(qdir + "/b.txt"));
    EXPECT_FALSE(FileExists(qdir + "/sub.mp4"));
    EXPECT_EQ(GetFileSize(qdir + "/b.txt"), 5);
    EXPECT_EQ(GetFileSize(qdir + "/sub.mp4"), -1);
    EXPECT_EQ(GetFileSize(qdir + "/none"), -1);
    EXPECT_TRUE(IsRegularFile(qdir + "/b.txt"));
    EXPECT_FALSE(IsRegularFile("/dev/null"));
    EXPECT_EQ(ExpandFileName(qdir + "/sub.mp4/../b.txt"), qdir + "/b.txt");
    EXPECT_TRUE(ExeFileName().endsWith("enginecore_file_tests"));
    EXPECT_EQ(ExePath(), ExtractFilePath(ExeFileName()));

    QStringList names;
    EXPECT_EQ(FindFiles(qdir, "*.mp4", 0, [&](const TSearchRec& r) { names << r.Name; }), 1);
    EXPECT_EQ(names, QStringList{"a.mp4"});
    names.clear();
    FindFiles(qdir, "*", faDirectory | faHidden, [&](const TSearchRec& r) { names << r.Name; });
    EXPECT_EQ(names, (QStringList{".hidden.mp4", "a.mp4", "b.txt", "sub.mp4"}));
    EXPECT_EQ(FindFiles(qdir + "/none", "*", 0, [](const TSearchRec&) {}), -1);
}

TEST(Text, SplitAtTheFirstSeparator) {
    std::string s = "a=1=2";
    EXPECT_EQ(SplitText(s, "=", false), "a");
    EXPECT_EQ(s, "a=1=2");
    EXPECT_EQ(SplitText(s, "="), "a");
    EXPECT_EQ(s, "1=2");
    std::string none = "abc";
    EXPECT_EQ(SplitText(none, ";"), "abc");
    EXPECT_EQ(none, "");
}

TEST(LocalTime, SummerTimeIsApplied) {
    {
        const testsupport::ScopedTimeZone cet(testsupport::kCentralEuropeanTime);
        // 2026-07-01 12:00:00 UTC and 2026-01-15 12:00:00 UTC.
        EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", UnixToLocalDateTime(1782907200)),
                  "2026-07-01 14:00:00");
        EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", UnixToLocalDateTime(1768478400)),
                  "2026-01-15 13:00:00");
    }
    const testsupport::ScopedTimeZone utc("UTC0");
    EXPECT_DOUBLE_EQ(UnixToLocalDateTime(0), 25569.0);
    EXPECT_EQ(FormatDateTime("hh:mm d/m/yy zzz", UnixToLocalDateTime(86400 + 3723)),
              "01:02 2/1/70 000");
}
