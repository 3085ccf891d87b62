#include "app/Reasons.h"

#include <QRegularExpression>

namespace app {

namespace {

// The reasons the user meets most, first match wins. Each pattern is matched against the first
// line of the English text; those that follow a path are anchored at its end (after ": "), so
// the words of a file name never decide. "%1" takes the pattern's first captured group.
struct Rule {
    const char* english;
    const char* chinese;
};

const Rule kRules[] = {
    // The loader names a library and passes on the system's words, which may end in
    // "No such file or directory": the library rule comes first.
    {R"(^Load (library|function|variable) |^The media libraries are not loaded\.$|)"
     R"(^libav or libsdl not loaded\.$)",
     "找不到或无法装入音频视频库。"},
    {R"(: no progress for (\d+) s$)", "转换已有 %1 秒没有任何进展，已中止。"},
    {R"(: what can be read ends at .*converted as far as it goes$)",
     "源文件比它标明的时长短（可能下载不完整或已损坏），已转换能读出的部分。"},
    {R"(: the output file is the same file as input #\d+; choose another name or folder$)",
     "输出文件就是源文件本身，请换一个输出文件夹。"},
    {R"((^|: )No such file or directory$)", "文件不存在。"},
    {R"((^|: )(Permission denied|Operation not permitted)$)", "没有访问该文件的权限。"},
    {R"((^|: )(No space left on device|Disk quota exceeded)$)", "磁盘空间不足。"},
    {R"((^|: )File too large$)", "文件太大，超出了磁盘或系统允许的大小。"},
    {R"((^|: )(Invalid data found when processing input|could not find codec parameters|)"
     R"(End of file|Unknown format)$)",
     "源文件无法读取或已损坏。"},
    {R"((^|: )the source has no sound for this sound-only format$)",
     "源文件没有声音，不能转换为纯音频格式。"},
    {R"((^|: )the source has no picture for this video-only format$)",
     "源文件没有画面，不能转换为这种视频格式。"},
    {R"(^Output file #\d+ does not contain any stream$|)"
     R"((^|: )the source has no sound or picture this format can hold$|)"
     R"((^|: )could not open codecs, no stream to play\.$)",
     "源文件中没有这种输出格式能用的声音或画面。"},
};

}  // namespace

Reason ReasonOf(const std::string& english) {
    const QString text = QString::fromStdString(english);
    const QString line = text.section(QLatin1Char('\n'), 0, 0).trimmed();
    for (const Rule& rule : kRules) {
        const QRegularExpression pattern(QString::fromUtf8(rule.english));
        const QRegularExpressionMatch match = pattern.match(line);
        if (!match.hasMatch()) continue;
        QString chinese = QString::fromUtf8(rule.chinese);
        if (chinese.contains(QLatin1String("%1"))) chinese = chinese.arg(match.captured(1));
        return {chinese, true};
    }
    return {QString::fromUtf8("错误信息：") + text.trimmed(), false};
}

QString ReasonLogText(const std::string& english) {
    const Reason reason = ReasonOf(english);
    const QString text = QString::fromStdString(english);
    return reason.known ? reason.text + QStringLiteral("  ") + text : text;
}

}  // namespace app
