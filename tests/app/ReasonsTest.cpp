// The reasons the window shows in Chinese, from the texts the engine, the probe, the player and
// the loader really produce (their formats copied here by hand, paths included).
#include <gtest/gtest.h>

#include "WidgetTestSupport.h"
#include "app/Reasons.h"

namespace {

using widgettest::U;

TEST(Reasons, CommonReasonsReadInChinese) {
    const struct {
        const char* english;
        const char* chinese;  // nullptr: not a common reason
    } cases[] = {
        {"/home/u/a.avi: No such file or directory", "文件不存在。"},
        {"/home/u/a.avi: Permission denied", "没有访问该文件的权限。"},
        {"/out/a.mp3: No space left on device", "磁盘空间不足。"},
        {"/out/a.mp3: File too large", "文件太大，超出了磁盘或系统允许的大小。"},
        {"/home/u/notes.mp4: Invalid data found when processing input",
         "源文件无法读取或已损坏。"},
        {"/home/u/a.avi: could not find codec parameters", "源文件无法读取或已损坏。"},
        {"the source has no sound for this sound-only format",
         "源文件没有声音，不能转换为纯音频格式。"},
        {"Output file #0 does not contain any stream",
         "源文件中没有这种输出格式能用的声音或画面。"},
        {"/home/u/a.avi: no progress for 60 s", "转换已有 60 秒没有任何进展，已中止。"},
        {"/home/u/a.avi: no progress for 5 s", "转换已有 5 秒没有任何进展，已中止。"},
        {"/dl/part.mp3: what can be read ends at 00:00:01.800, before the 00:00:03.000 the file "
         "states (incomplete or damaged); converted as far as it goes",
         "源文件比它标明的时长短（可能下载不完整或已损坏），已转换能读出的部分。"},
        {"/v/a.mp3: the output file is the same file as input #0; choose another name or folder",
         "输出文件就是源文件本身，请换一个输出文件夹。"},
        {"The media libraries are not loaded.", "找不到或无法装入音频视频库。"},
        {"libav or libsdl not loaded.", "找不到或无法装入音频视频库。"},
        // The loader passes on the system's words, which must not be read as a missing source.
        {"Load library /opt/tandrel/LibAV/libavutil.so.57 error: libavutil.so.57: cannot open "
         "shared object file: No such file or directory",
         "找不到或无法装入音频视频库。"},
        // A file named like a reason: only the words after the last path count.
        {"/home/u/No space left on device: Permission denied", "没有访问该文件的权限。"},
        {"/home/u/x: No such file or directory.avi: Invalid argument", nullptr},
        // Only the first line decides; several outputs' warnings are joined by line breaks.
        {"/a.avi: no progress for 60 s\n/b.avi: File too large",
         "转换已有 60 秒没有任何进展，已中止。"},
        {"Video encoding failed", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.english);
        const app::Reason reason = app::ReasonOf(c.english);
        if (c.chinese) {
            EXPECT_TRUE(reason.known);
            EXPECT_EQ(reason.text, U(c.chinese));
        } else {
            // Not one of the common ones: still given, with the engine's own words.
            EXPECT_FALSE(reason.known);
            EXPECT_EQ(reason.text, U("错误信息：") + QString::fromUtf8(c.english));
        }
    }
    // The log keeps the English after the Chinese.
    EXPECT_EQ(app::ReasonLogLine("/o/a.mp3: File too large"),
              U("***文件太大，超出了磁盘或系统允许的大小。  /o/a.mp3: File too large"));
}

}  // namespace
