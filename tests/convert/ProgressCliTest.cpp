// tandrel-cli convert and transcode as a log file, a script and a terminal see their progress:
// plain lines when standard error is not a terminal, JSON events with --json, and a bar drawn
// in place on a pseudo-terminal (util-linux `script`).
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestMedia.h"
#include "TestSupport.h"

using testmedia::Quote;

namespace {

using testsupport::Cli;

QStringList Lines(const std::string& text) {
    return QString::fromStdString(text).split('\n', Qt::SkipEmptyParts);
}

std::vector<QJsonObject> Events(const std::string& text) {
    std::vector<QJsonObject> out;
    for (const QString& line : Lines(text)) {
        QJsonParseError error;
        out.push_back(QJsonDocument::fromJson(line.toUtf8(), &error).object());
        EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
    }
    return out;
}

TEST(ProgressCli, ConvertWritesPlainLinesWhenItsOutputIsNoTerminal) {
    const std::string dir = testsupport::ScratchDir("lines");
    const std::string clip = testmedia::Path("clip10s");
    const auto r = Cli("convert --profile 206 --out " + Quote(dir) + " " + Quote(clip));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << "no terminal control in a log";
    EXPECT_EQ(r.err.find('\r'), std::string::npos);

    // "<source>: 40.0% 00:00:04 12.50x left 00:00:00", percentages rising to the end.
    const QRegularExpression form(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(QString::fromStdString(clip)) +
        R"(: (\d+\.\d)% \d\d:\d\d:\d\d (\d+\.\d\dx|--x) left (\d\d:\d\d:\d\d|--:--:--))"));
    double last = -1;
    int lines = 0;
    for (const QString& line : Lines(r.err)) {
        const QRegularExpressionMatch m = form.match(line);
        ASSERT_TRUE(m.hasMatch()) << line.toStdString();
        EXPECT_GT(m.captured(1).toDouble(), last);
        last = m.captured(1).toDouble();
        ++lines;
    }
    EXPECT_GE(lines, 1);
    EXPECT_LE(lines, 10) << "at most one line a tenth";
    EXPECT_GE(last, 99.0) << "the last report is at the end of the 10 s clip";

    const QStringList out = Lines(r.out);
    ASSERT_EQ(out.size(), 2) << r.out;
    EXPECT_TRUE(out[0].startsWith("done    ")) << r.out;
    EXPECT_EQ(out[1], "1 passed, 0 failed");
}

TEST(ProgressCli, JsonOptionGivesEventsWithSpeedAndTimeLeft) {
    const std::string dir = testsupport::ScratchDir("json");
    const std::string clip = testmedia::Path("clip10s");
    for (const std::string& command :
         {"convert --json --profile 206 --out " + Quote(dir) + " " + Quote(clip),
          "transcode --json -i " + Quote(clip) + " -t 4 -acodec mp2 -vn " +
              Quote(dir + "/t.mp2")}) {
        SCOPED_TRACE(command);
        const auto r = Cli(command);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::vector<QJsonObject> events = Events(r.out);
        int progress = 0;
        for (const QJsonObject& e : events) {
            if (e["event"].toString() != "progress") continue;
            ++progress;
            EXPECT_TRUE(e.contains("speed") && e.contains("left"))
                << QJsonDocument(e).toJson().toStdString();
            EXPECT_GE(e["percent"].toDouble(), 0);
            EXPECT_LE(e["percent"].toDouble(), 100);
            // Time left: the rest of the media at the measured speed.
            if (e["speed"].toDouble() > 0) {
                EXPECT_NEAR(e["left"].toDouble(),
                            std::max(0.0, e["total"].toDouble() - e["time"].toDouble()) /
                                e["speed"].toDouble(),
                            1.0);
            }
        }
        EXPECT_GE(progress, 1);
        const auto end = std::find_if(events.begin(), events.end(),
                                      [](const QJsonObject& e) { return e["event"] == "end"; });
        ASSERT_NE(end, events.end());
        EXPECT_EQ((*end)["finished"], true);
        EXPECT_EQ((*end)["hasError"], false);
    }
    const auto both =
        Cli("convert --json --progress bar --profile 206 --out " + Quote(dir) + " " + Quote(clip));
    EXPECT_EQ(both.status, 2);
    EXPECT_EQ(both.out, "");
}

// The command on a pseudo-terminal: standard output and error both reach it.
std::string OnTerminal(const std::string& args) {
    const std::string command = std::string(TANDREL_CLI) + " " + args;
    std::string out;
    const int status =
        testsupport::Run("script -qec " + Quote(command) + " /dev/null </dev/null", &out);
    EXPECT_EQ(status, 0) << out;
    return out;
}

TEST(ProgressCli, OnATerminalEachFileHasABarThatStaysWhenItEnds) {
    const std::string dir = testsupport::ScratchDir("terminal");
    const std::string a = testmedia::Path("clip10s");
    const std::string b = testmedia::Path("wav_pcm");
    const std::string out = OnTerminal("convert --jobs 2 --profile 206 --out " + Quote(dir) + " " +
                                       Quote(a) + " " + Quote(b));
    EXPECT_NE(out.find("\r["), std::string::npos) << out;
    // Each file's last bar stays as a line of its own, named after the file, with the speed it
    // was converted at (measured from its start: known even with a single report).
    for (const std::string& source : {a, b}) {
        const QRegularExpression finalBar(
            R"(\[#{23,24} ?\] +(99\.\d|100\.0)% +\d+\.\d\dx left \d\d:\d\d:\d\d )" +
            QRegularExpression::escape(QFileInfo(QString::fromStdString(source)).fileName()) +
            R"(\r?\n)");
        EXPECT_TRUE(finalBar.match(QString::fromStdString(out)).hasMatch()) << source << "\n"
                                                                            << out;
    }
    EXPECT_NE(out.find("2 passed, 0 failed"), std::string::npos) << out;

    // transcode draws the same bar.
    const std::string t =
        OnTerminal("transcode -i " + Quote(a) + " -t 4 -acodec mp2 -vn " + Quote(dir + "/t.mp2"));
    EXPECT_EQ(t.substr(0, 2), "\r[") << t;
    EXPECT_NE(t.find(" left "), std::string::npos) << t;
}

}  // namespace
