// The reasons the window shows in Chinese, from texts in the forms the engine, the probe and the
// loader produce (copied here by hand, paths included).
#include <gtest/gtest.h>

#include "WidgetTestSupport.h"
#include "app/Reasons.h"

using widgettest::U;

TEST(Reasons, CommonReasonsReadInChinese) {
    const std::pair<const char*, const char*> cases[] = {
        {"/u/a.avi: No such file or directory", "文件不存在。"},
        {"/o/a.mp3: No space left on device", "磁盘空间不足。"},
        {"/o/a.mp3: File too large", "文件太大，超出了磁盘或系统允许的大小。"},
        {"/u/n.mp4: Invalid data found when processing input", "源文件无法读取或已损坏。"},
        {"/u/a.avi: no progress for 60 s\n/u/b.avi: File too large",  // the first line decides
         "转换已有 60 秒没有任何进展，已中止。"},
        {"/u/p.mp3: what can be read ends at 00:00:01.800, before the 00:00:03.000 the file states "
         "(incomplete or damaged); converted as far as it goes",
         "源文件比它标明的时长短（可能下载不完整或已损坏），已转换能读出的部分。"},
        // The loader passes on the system's words: not a missing source.
        {"Load library /x/libavutil.so.57 error: libavutil.so.57: cannot open shared object file: "
         "No such file or directory",
         "找不到或无法装入音频视频库。"},
        // A file named like a reason: only the words after the last ": " count.
        {"/u/No space left on device: Permission denied", "没有访问该文件的权限。"},
        {"/u/No such file or directory.avi: Invalid argument", nullptr},
    };
    for (const auto& [english, chinese] : cases) {
        const app::Reason reason = app::ReasonOf(english);
        EXPECT_EQ(reason.known, chinese != nullptr) << english;
        // Not a common one: still given, in the engine's words.
        EXPECT_EQ(reason.text, chinese ? U(chinese) : U("错误信息：") + U(english)) << english;
    }
    EXPECT_EQ(app::ReasonLogText("/o/a.mp3: File too large"),
              U("文件太大，超出了磁盘或系统允许的大小。  /o/a.mp3: File too large"));
}
