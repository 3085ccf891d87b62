// The progress forms of tandrel-cli's conversions, fed with made-up reports at made-up wall
// times: the arithmetic of percentage, speed and time left; the terminal bars read back through a
// small terminal model (what a user would see on screen after each step); the plain lines; the
// JSON events.
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/Progress.h"

using cli::ProgressForm;
using cli::ProgressReporter;

namespace {

constexpr int64_t kSecond = 1'000'000;

// A stream in memory.
class Capture {
public:
    Capture() : file_(::open_memstream(&data_, &size_)) {}
    ~Capture() {
        std::fclose(file_);
        std::free(data_);
    }
    FILE* file() { return file_; }
    std::string text() {
        std::fflush(file_);
        return std::string(data_, size_);
    }

private:
    char* data_ = nullptr;
    size_t size_ = 0;
    FILE* file_;
};

// The few control sequences a bar uses, played on a screen of lines: carriage return, line feed,
// cursor up (ESC [ n A), erase to the end of the line (ESC [ K) and of the screen (ESC [ J).
std::vector<std::string> Screen(const std::string& bytes) {
    std::vector<std::string> lines(1);
    size_t row = 0, column = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\r') {
            column = 0;
        } else if (c == '\n') {
            ++row;
            column = 0;
            if (row == lines.size()) lines.emplace_back();
        } else if (c == '\x1b') {
            EXPECT_EQ(bytes.at(i + 1), '[');
            size_t j = i + 2;
            int n = 0;
            while (std::isdigit(static_cast<unsigned char>(bytes.at(j))))
                n = n * 10 + (bytes[j++] - '0');
            const char op = bytes.at(j);
            if (op == 'A') {
                EXPECT_GE(row, static_cast<size_t>(std::max(n, 1)));
                row -= std::min(row, static_cast<size_t>(std::max(n, 1)));
            } else if (op == 'K') {
                lines[row].resize(std::min(lines[row].size(), column));
            } else if (op == 'J') {
                lines[row].resize(std::min(lines[row].size(), column));
                lines.resize(row + 1);
            } else {
                ADD_FAILURE() << "unexpected control sequence " << op;
            }
            i = j;
        } else {
            if (lines[row].size() <= column) lines[row].resize(column + 1, ' ');
            lines[row][column++] = c;
        }
    }
    return lines;
}

TProgressInfo Report(double seconds, double total) {
    TProgressInfo p;
    p.TaskIndex = 0;
    p.FileIndex = 0;
    p.FrameNumber = static_cast<int32_t>(seconds * 25);
    p.CurrentDuration = static_cast<int64_t>(seconds * kSecond);
    p.TotalDuration = total < 0 ? -1 : static_cast<int64_t>(total * kSecond);
    p.CurrentSize = 1000;
    return p;
}

TEST(ProgressFigures, PercentSpeedAndTimeLeftByArithmetic) {
    // 5 s of 20 s done, all 5 s in 2 s of wall time: 25 %, 2.5 times real time, 15 s / 2.5.
    cli::ProgressFigures f = cli::Measure(5 * kSecond, 20 * kSecond, 5 * kSecond, 2 * kSecond);
    EXPECT_DOUBLE_EQ(f.percent, 25.0);
    EXPECT_DOUBLE_EQ(f.speed, 2.5);
    EXPECT_EQ(f.leftUs, 6 * kSecond);
    // Measured from a later origin: 3 s of media in 4 s of wall time.
    f = cli::Measure(8 * kSecond, 20 * kSecond, 3 * kSecond, 4 * kSecond);
    EXPECT_DOUBLE_EQ(f.speed, 0.75);
    EXPECT_EQ(f.leftUs, 16 * kSecond);
    // Unknown length: no percentage and no time left, the speed still.
    f = cli::Measure(5 * kSecond, -1, 5 * kSecond, 2 * kSecond);
    EXPECT_EQ(f.percent, -1);
    EXPECT_DOUBLE_EQ(f.speed, 2.5);
    EXPECT_EQ(f.leftUs, -1);
    // No wall time yet: nothing measured. Past the expected end: 100 %, nothing left.
    f = cli::Measure(5 * kSecond, 20 * kSecond, 5 * kSecond, 0);
    EXPECT_EQ(f.speed, -1);
    EXPECT_EQ(f.leftUs, -1);
    f = cli::Measure(21 * kSecond, 20 * kSecond, 21 * kSecond, 7 * kSecond);
    EXPECT_DOUBLE_EQ(f.percent, 100.0);
    EXPECT_EQ(f.leftUs, 0);

    EXPECT_EQ(cli::ClockText(3723 * kSecond + 999'999), "01:02:03");
    EXPECT_EQ(cli::ClockText(100 * 3600 * kSecond), "100:00:00");
    EXPECT_EQ(cli::ClockText(-1), "--:--:--");
}

TEST(ProgressForms, ChosenByNameAndNothingElse) {
    EXPECT_EQ(cli::ProgressFormFromText("bar"), ProgressForm::Bar);
    EXPECT_EQ(cli::ProgressFormFromText("lines"), ProgressForm::Lines);
    EXPECT_EQ(cli::ProgressFormFromText("json"), ProgressForm::Json);
    EXPECT_EQ(cli::ProgressFormFromText("none"), ProgressForm::None);
    EXPECT_FALSE(cli::ProgressFormFromText("Bar"));
    EXPECT_FALSE(cli::ProgressFormFromText(""));
}

TEST(ProgressBars, TheScreenShowsOneBarPerRunningFileAndMessagesAboveThem) {
    Capture events, terminal;
    const int width = 80;
    ProgressReporter r(ProgressForm::Bar, events.file(), terminal.file(), width);
    r.Begin(0, "/videos/first.avi", 0);
    r.Begin(1, "/videos/a-name-far-too-long-for-the-line-that-is-left-for-it.mkv");

    r.Report(0, 0, Report(5, 20), 2 * kSecond);
    std::vector<std::string> screen = Screen(terminal.text());
    ASSERT_EQ(screen.size(), 1u);
    // 25 % of 24 cells filled; 2.50 times real time; 15 s of media at that speed.
    EXPECT_EQ(screen[0], "[######                  ]  25.0%   2.50x left 00:00:06 first.avi");

    // The second file's speed is measured from its first report on: unknown at first.
    r.Report(1, 1, Report(1, 10), 2 * kSecond);
    r.Report(1, 1, Report(4, 10), 4 * kSecond);  // 3 s of media in 2 s
    r.Report(0, 0, Report(10, 20), 4 * kSecond);
    screen = Screen(terminal.text());
    ASSERT_EQ(screen.size(), 2u);
    EXPECT_EQ(screen[0], "[############            ]  50.0%   2.50x left 00:00:04 first.avi");
    EXPECT_EQ(screen[1].substr(0, 56), "[#########               ]  40.0%   1.50x left 00:00:04 ");
    for (const std::string& line : screen)
        EXPECT_LE(QString::fromStdString(line).size(), width - 1) << line;
    EXPECT_TRUE(QString::fromStdString(screen[1]).endsWith("left-for-it.mkv"));
    EXPECT_TRUE(QString::fromStdString(screen[1]).contains(QChar(0x2026)));

    // A message goes above the bars, which are drawn again below it.
    r.Say(terminal.file(), "warning: something");
    screen = Screen(terminal.text());
    ASSERT_EQ(screen.size(), 3u);
    EXPECT_EQ(screen[0], "warning: something");
    EXPECT_EQ(screen[1].substr(0, 14), "[############ ");
    EXPECT_EQ(screen[2].substr(0, 11), "[######### ");

    // A file that ends leaves its last bar as a line; the others keep being redrawn below it.
    r.Report(0, 0, Report(20, 20), 6 * kSecond);
    r.End(0, true, false, "");
    r.Report(1, 1, Report(7, 10), 6 * kSecond);
    screen = Screen(terminal.text());
    ASSERT_EQ(screen.size(), 3u);
    EXPECT_EQ(screen[1], "[########################] 100.0%   3.33x left 00:00:00 first.avi");
    EXPECT_EQ(screen[2].substr(0, 56), "[################        ]  70.0%   1.50x left 00:00:02 ");

    r.End(1, false, true, "broken");
    r.Close();
    screen = Screen(terminal.text());
    ASSERT_EQ(screen.size(), 4u);
    EXPECT_EQ(screen[2].substr(0, 18), "[################ ");
    EXPECT_EQ(screen[3], "") << "the cursor rests on a fresh line";
    EXPECT_EQ(events.text(), "") << "no events in the bar form";
}

// Columns a terminal gives a line: two for each CJK ideograph (East Asian Width "W"), one for
// anything else here.
int Columns(const QString& line) {
    int columns = 0;
    for (QChar c : line) columns += (c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF) ? 2 : 1;
    return columns;
}

TEST(ProgressBars, ChineseNamesAreCutByTheColumnsTheyTake) {
    Capture terminal;
    ProgressReporter r(ProgressForm::Bar, stdout, terminal.file(), 70);
    r.Begin(0, QString::fromUtf8("/视频/第一集 新年晚会 完整版 高清.mp4"), 0);
    r.Report(0, 0, Report(5, 20), 2 * kSecond);
    const auto screen = Screen(terminal.text());
    ASSERT_EQ(screen.size(), 1u);
    const QString line = QString::fromStdString(screen[0]);
    EXPECT_LE(Columns(line), 69) << screen[0];
    EXPECT_GE(Columns(line), 67) << "the room is used: " << screen[0];
    EXPECT_TRUE(line.endsWith(QString::fromUtf8("高清.mp4"))) << screen[0];
}

TEST(ProgressBars, UnknownLengthShowsNoPercentage) {
    Capture terminal;
    ProgressReporter r(ProgressForm::Bar, stdout, terminal.file(), 80);
    r.Begin(0, "live.ts", 0);
    r.Report(0, 0, Report(3, -1), 2 * kSecond);
    const auto screen = Screen(terminal.text());
    ASSERT_EQ(screen.size(), 1u);
    EXPECT_EQ(screen[0], "[                        ]   --.-%   1.50x left --:--:-- live.ts");
}

TEST(ProgressLines, OneLineEachTimeAFileComesIntoAnotherTenth) {
    Capture events, terminal;
    ProgressReporter r(ProgressForm::Lines, events.file(), terminal.file(), 80);
    r.Begin(0, "a.avi", 0);
    for (double s : {1.0, 2.4, 3.6, 6.2, 6.3, 20.0}) r.Report(0, 0, Report(s, 20), 2 * kSecond);
    r.Begin(1, "b.ts", 0);
    for (double s : {30.0, 61.0, 90.0, 125.0}) r.Report(1, 1, Report(s, -1), 10 * kSecond);
    r.End(0, true, false, "");
    r.Close();
    const QStringList lines =
        QString::fromStdString(terminal.text()).split('\n', Qt::SkipEmptyParts);
    // 5 %, 12 %, 18 %, 31 %, 31.5 %, 100 %: tenths 1, 3 and 10 are entered. b.ts (no length):
    // minutes 1 and 2.
    EXPECT_EQ(lines, QStringList({"a.avi: 12.0% 00:00:02 1.20x left 00:00:14",
                                  "a.avi: 31.0% 00:00:06 3.10x left 00:00:04",
                                  "a.avi: 100.0% 00:00:20 10.00x left 00:00:00",
                                  "b.ts: 00:01:01 6.10x left --:--:--",
                                  "b.ts: 00:02:05 12.50x left --:--:--"}));
    EXPECT_EQ(events.text(), "");
}

TEST(ProgressJson, EventsCarryTheFiguresAndTheCommandsOwnFields) {
    Capture events, terminal;
    ProgressReporter r(ProgressForm::Json, events.file(), terminal.file(), 80);
    r.Begin(0, "a.avi", 0);
    r.Event(QJsonObject{{"event", "added"}, {"file", 0}});
    r.Report(0, 3, Report(5, 20), 2 * kSecond);
    r.End(0, false, true, "broken", QJsonObject{{"output", "/out/a.mp3"}});
    r.Say(terminal.file(), "1 failed");
    r.Close();

    std::vector<QJsonObject> lines;
    for (const QString& line :
         QString::fromStdString(events.text()).split('\n', Qt::SkipEmptyParts)) {
        QJsonParseError error;
        lines.push_back(QJsonDocument::fromJson(line.toUtf8(), &error).object());
        EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
    }
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0]["event"].toString(), "added");
    const QJsonObject& p = lines[1];
    EXPECT_EQ(p["event"].toString(), "progress");
    EXPECT_EQ(p["file"].toInt(), 0);
    EXPECT_EQ(p["task"].toInt(), 3);
    EXPECT_DOUBLE_EQ(p["percent"].toDouble(), 25.0);
    EXPECT_DOUBLE_EQ(p["speed"].toDouble(), 2.5);
    EXPECT_EQ(p["left"].toInteger(), 6 * kSecond);
    EXPECT_EQ(p["time"].toInteger(), 5 * kSecond);
    EXPECT_EQ(p["total"].toInteger(), 20 * kSecond);
    EXPECT_EQ(p["frame"].toInt(), 125);
    const QJsonObject& end = lines[2];
    EXPECT_EQ(end["event"].toString(), "end");
    EXPECT_EQ(end["finished"], false);
    EXPECT_EQ(end["hasError"], true);
    EXPECT_EQ(end["error"].toString(), "broken");
    EXPECT_EQ(end["output"].toString(), "/out/a.mp3");
    EXPECT_EQ(terminal.text(), "1 failed\n") << "only what the command says itself";
}

TEST(ProgressNone, SaysOnlyWhatTheCommandSays) {
    Capture events, terminal, said;
    ProgressReporter r(ProgressForm::None, events.file(), terminal.file(), 80);
    r.Begin(0, "a.avi", 0);
    r.Report(0, 0, Report(5, 20), 2 * kSecond);
    r.Event(QJsonObject{{"event", "added"}});
    r.End(0, true, false, "");
    r.Say(said.file(), "done");
    r.Close();
    EXPECT_EQ(events.text(), "");
    EXPECT_EQ(terminal.text(), "");
    EXPECT_EQ(said.text(), "done\n");
}

}  // namespace
