// File names of every kind through tandrel-cli probe, transcode, convert, play and snapshot, read
// back with ffprobe: CJK, emoji, spaces, quotes, a leading "-", a 255-byte name and bytes that are not
// UTF-8 (as old archives in GBK have them). Names are handled as bytes here (std::string), the
// way the shell hands them over.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CliTestSupport.h"
#include "TestMedia.h"
#include "TestSupport.h"

namespace fs = std::filesystem;
using testmedia::Quote;
using testsupport::Cli;

namespace {

struct Name {
    const char* kind;
    std::string base;  // without extension
};

// 81 × "長" (3 bytes each) and 8 letters: with ".avi", ".mkv" or ".mp3", 255 bytes.
std::string longBase() {
    std::string s;
    for (int i = 0; i < 81; ++i) s += "\xE9\x95\xB7";
    return s + "abcdefgh";
}

const std::vector<Name>& names() {
    static const std::vector<Name> all = {
        {"cjk", "\xE6\xB5\x8B\xE8\xAF\x95\xE8\xA7\x86\xE9\xA2\x91"},      // 测试视频
        {"emoji", "\xF0\x9F\x8E\xAC clip \xF0\x9F\x8E\x9E\xEF\xB8\x8F"},  // 🎬 clip 🎞️
        {"spaces", "  two  spaces  "},
        {"quotes", "it's \"quoted\" `name` $HOME"},
        {"dash", "-dash"},
        {"long", longBase()},
        {"not utf8", "gbk \xB2\xE2\xCA\xD4 \xFF\xFE end"},  // 测试 in GBK, and bytes no text has
    };
    return all;
}

// A copy of a 2 s clip under `base`.avi in its own folder; the file's path.
std::string sourceNamed(const Name& n) {
    const std::string dir = testsupport::ScratchDir(std::string("names/") + n.kind);
    const std::string path = dir + "/" + n.base + ".avi";
    fs::copy_file(testmedia::Path("avi_mpeg4_mp3"), path);
    return path;
}

class Names : public ::testing::TestWithParam<size_t> {
protected:
    const Name& name() const { return names()[GetParam()]; }
};

TEST_P(Names, ProbeReadsTheFile) {
    const std::string source = sourceNamed(name());
    const double reference = clitest::ReferenceOf(source).duration;
    ASSERT_GT(reference, 1.9);

    const testsupport::CommandResult r = Cli("probe --json " + Quote(source));
    ASSERT_EQ(r.status, 0) << r.err;
    const QJsonArray facts = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).array();
    ASSERT_EQ(facts.size(), 1) << r.out;
    const QJsonObject file = facts[0].toObject();
    EXPECT_NEAR(file["duration"].toDouble() / 1e6, reference, 0.001) << r.out;

    // A name starting with "-" also works after "--", as users write it.
    if (name().base[0] == '-') {
        const testsupport::CommandResult dashed =
            Cli("probe -- " + Quote(name().base + ".avi"), fs::path(source).parent_path());
        EXPECT_EQ(dashed.status, 0) << dashed.err;
    }
}

TEST_P(Names, TranscodeReadsAndWritesTheName) {
    const std::string source = sourceNamed(name());
    const std::string dir = fs::path(source).parent_path();
    // The output has the same name in another container; "-dash.mkv" as the last word would be
    // an option, so it is written "./-dash.mkv" (relative to the folder, as a user would).
    const std::string output = name().base + ".mkv";
    const testsupport::CommandResult r =
        Cli("transcode -i " + Quote(name().base + ".avi") + " -vcodec mpeg4 -acodec mp2 " +
                Quote("./" + output),
            dir);
    ASSERT_EQ(r.status, 0) << r.err;
    const clitest::Reference written = clitest::ReferenceOf(dir + "/" + output);
    EXPECT_NEAR(written.duration, 2.0, 0.1);
    EXPECT_EQ(written.codecs, (std::vector<std::string>{"mpeg4", "mp2"}));
}

TEST_P(Names, ConvertNamesTheOutputAfterTheSource) {
    const std::string source = sourceNamed(name());
    const std::string dir = fs::path(source).parent_path();
    // Into its own folder, as a sound file: the output takes the source's name.
    const testsupport::CommandResult mp3 =
        Cli("convert --profile 300 --progress none --out " + Quote(dir) + " -- " + Quote(source));
    ASSERT_EQ(mp3.status, 0) << mp3.out << mp3.err;
    const clitest::Reference sound = clitest::ReferenceOf(dir + "/" + name().base + ".mp3");
    EXPECT_NEAR(sound.duration, 2.0, 0.1);
    EXPECT_EQ(sound.codecs, std::vector<std::string>{"mp3"});

    // As an AVI beside its source: the name is taken, so it is numbered; a 255-byte name loses
    // characters at the end of its base to make room for the number.
    const testsupport::CommandResult avi =
        Cli("convert --profile 1 --progress none --out " + Quote(dir) + " -- " + Quote(source));
    ASSERT_EQ(avi.status, 0) << avi.out << avi.err;
    std::string numbered;
    for (const std::string& f : clitest::FilesIn(dir))
        if (f.find("(New_1).avi") != std::string::npos) numbered = f;
    ASSERT_FALSE(numbered.empty());
    EXPECT_LE(numbered.size(), 255u);
    if (name().kind != std::string("long")) {
        EXPECT_EQ(numbered, name().base + "(New_1).avi");
    } else {
        // "abcdefgh" (8 bytes) gives way to "(New_1)" (7 bytes): one letter stays.
        EXPECT_EQ(numbered, name().base.substr(0, 243 + 1) + "(New_1).avi");
    }
    EXPECT_NEAR(clitest::ReferenceOf(dir + "/" + numbered).duration, 2.0, 0.1);
    // The source is as it was.
    EXPECT_EQ(testsupport::ReadFile(source),
              testsupport::ReadFile(testmedia::Path("avi_mpeg4_mp3")));
}

TEST_P(Names, PlayPlaysTheFile) {
    const std::string source = sourceNamed(name());
    const testsupport::CommandResult r = Cli("play --seconds 1 --json -- " + Quote(source));
    ASSERT_EQ(r.status, 0) << r.err;
    const QJsonObject stats = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
    // A second of the clip was played and its pictures shown in order. How many depends on how
    // busy the machine is (the player's own tests measure its timing).
    EXPECT_NEAR(stats["seconds_played"].toDouble(), 1.0, 0.1) << r.out;
    const QJsonArray shown = stats["shown"].toArray();
    ASSERT_FALSE(shown.isEmpty()) << r.out;
    EXPECT_EQ(stats["pictures_shown"].toInt(), shown.size());
    double previous = -1;
    for (const auto& picture : shown) {
        const double at = picture.toArray().at(0).toDouble();
        EXPECT_GT(at, previous) << r.out;
        EXPECT_LE(at, 1.1) << r.out;
        previous = at;
    }
}

TEST_P(Names, SnapshotSavesThePicture) {
    const std::string source = sourceNamed(name());
    const std::string out = testsupport::ScratchDir(std::string("snaps/") + name().kind);
    const testsupport::CommandResult r =
        Cli("snapshot --at 1 --format png --out " + Quote(out) + " -- " + Quote(source));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> files = clitest::FilesIn(out);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_LE(files[0].size(), 255u);
    if (name().kind == std::string("long")) {
        // "gh" gives way to "_1": the name fills the 255 bytes exactly.
        EXPECT_EQ(files[0], name().base.substr(0, name().base.size() - 2) + "_1.png");
    } else if (name().kind != std::string("not utf8")) {
        EXPECT_EQ(files[0], name().base + "_1.png");
    }
    const QJsonObject facts = testsupport::FfprobeJson(out + "/" + files[0]);
    const QJsonObject picture = facts["streams"].toArray().at(0).toObject();
    EXPECT_EQ(picture["codec_name"].toString(), "png");
    EXPECT_EQ(picture["width"].toInt(), 320);
    EXPECT_EQ(picture["height"].toInt(), 240);
}

INSTANTIATE_TEST_SUITE_P(Cli, Names, ::testing::Range<size_t>(0, 7),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                             std::string kind = names()[info.param].kind;
                             std::replace(kind.begin(), kind.end(), ' ', '_');
                             return kind;
                         });

}  // namespace
