// The installed programs: `cmake --install` of this build into a private prefix (stripped, as the
// package has them), then what a desktop and a user see there — the files in their places, the
// desktop entry and the AppStream file accepted by their validators, "Open with" offered for the
// open dialog's file types, the installed programs finding their data under the prefix and
// converting, and the Debian package depending on the packages of every library the programs
// bind at run time and passing lintian.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QStringList>
#include <map>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "TestMedia.h"
#include "TestSupport.h"

using testmedia::Quote;
using testsupport::RunCapturing;

namespace {

const std::string kBuild = TANDREL_BUILD_DIR;
const std::string kSource = TANDREL_SOURCE_DIR;
const char kAppId[] = "example.tandrel.Tandrel";

// The patterns of the open dialogs' first filter, "所有支持的文件类型", in the designed order.
const char kDialogPatterns[] =
    "*.AVI;*.ASF;*.asx;*.WMV;*.AVS;*.FLV;*.MKV;*.MOV;*.3GP;*.MP4;*.MPG;*.MPEG;*.DAT;*.OGM;*.VOB;"
    "*.RM;*.RMVB;*.TS;*.TP;*.IFO;*.NSV;*.MP3;*.AAC;*.WAV;*.WMA;*.CDA;*.SWF;*.FLAC;*.M4A;*.MID;"
    "*.MKA;*.MP2;*.MPA;*.MPC;*.APE;*.OFR;*.OGG;*.RA;*.WV;*.TTA;*.AC3;*.DTS;*.DV;*.m4v;*.3g2;"
    "*.mkv;*.dv;*.yuv;*.h261;*.h264;*.mjpeg;*.dif;*.m4v;*.3gpp;*.3gp2;*.qt";

QStringList Names(const QString& dir, const QStringList& filters) {
    return QDir(dir).entryList(filters, QDir::Files, QDir::Name);
}

// One installation for the whole program: the cases only read it.
class Installed : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        prefix_ = testsupport::ScratchDir("prefix");
        const auto r = RunCapturing("cmake --install " + Quote(kBuild) + " --strip --prefix " +
                                    Quote(prefix_));
        installStatus_ = r.status;
        installLog_ = r.out + r.err;
    }
    void SetUp() override { ASSERT_EQ(installStatus_, 0) << installLog_; }

    static std::string P(const std::string& relative) { return prefix_ + "/" + relative; }

    // The Debian package of this build (cpack), made once; fails the test when it cannot be.
    static std::string Package() {
        if (deb_.empty()) {
            const std::string out = testsupport::ScratchDir("package");
            const auto packed =
                RunCapturing("cd " + Quote(out) + " && cpack --config " +
                             Quote(kBuild + "/CPackConfig.cmake") + " -B " + Quote(out));
            EXPECT_EQ(packed.status, 0) << packed.out << packed.err;
            const QStringList debs = Names(QString::fromStdString(out), {"tandrel_*.deb"});
            EXPECT_EQ(debs.size(), 1) << packed.out;
            if (debs.size() == 1) deb_ = out + "/" + debs.first().toStdString();
        }
        return deb_;
    }

    // `program` with `args` in an environment without the data-folder override.
    static testsupport::CommandResult Run(const std::string& program, const std::string& args) {
        return RunCapturing("env -u TANDREL_DATA_DIR " + Quote(program) + " " + args);
    }

    static inline std::string prefix_;
    static inline int installStatus_ = -1;
    static inline std::string installLog_;
    static inline std::string deb_;
};

TEST_F(Installed, EveryFileIsInItsPlace) {
    for (const char* program : {"bin/tandrel", "bin/tandrel-cli"}) {
        const QFileInfo info(QString::fromStdString(P(program)));
        EXPECT_TRUE(info.isFile() && info.isExecutable()) << program;
    }
    // The data the programs look for under <prefix>/share/tandrel: every skin and help page of
    // the source tree, and the capture sound.
    const QString data = QString::fromStdString(P("share/tandrel"));
    const QString resources = QString::fromStdString(kSource + "/resources");
    EXPECT_EQ(Names(data + "/skins", {"*.sui"}), Names(resources + "/skins", {"*.sui"}));
    EXPECT_FALSE(Names(resources + "/help", {"*.html"}).isEmpty());
    EXPECT_EQ(Names(data + "/help", {"*.html", "*.css"}),
              Names(resources + "/help", {"*.html", "*.css"}));
    EXPECT_EQ(Names(data + "/help/images", {"*.png"}),
              Names(resources + "/help/images", {"*.png"}));
    EXPECT_TRUE(QFileInfo(data + "/sounds/cam.wav").isFile());

    EXPECT_TRUE(QFileInfo::exists(
        QString::fromStdString(P("share/applications/" + std::string(kAppId) + ".desktop"))));
    EXPECT_TRUE(QFileInfo::exists(
        QString::fromStdString(P("share/metainfo/" + std::string(kAppId) + ".metainfo.xml"))));
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(P("share/doc/tandrel/README.md"))));

    // The icon: scalable, and each PNG as large as its hicolor folder says.
    EXPECT_TRUE(
        QFileInfo(QString::fromStdString(P("share/icons/hicolor/scalable/apps/tandrel.svg")))
            .isFile());
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256, 512}) {
        const QString png = QString::fromStdString(P("share/icons/hicolor/")) +
                            QStringLiteral("%1x%1/apps/tandrel.png").arg(size);
        QImageReader reader(png);
        EXPECT_EQ(reader.format(), "png") << png.toStdString();
        EXPECT_EQ(reader.size(), QSize(size, size)) << png.toStdString();
    }

    // Nothing installed points back into the build folder.
    for (const char* program : {"bin/tandrel", "bin/tandrel-cli"}) {
        const auto r = RunCapturing("readelf -d " + Quote(P(program)));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out.find("RPATH"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("RUNPATH"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find(kBuild), std::string::npos);
    }
}

TEST_F(Installed, DesktopEntryPassesItsValidatorAndOpensTheDialogsFileTypes) {
    const std::string desktop = P("share/applications/" + std::string(kAppId) + ".desktop");
    const auto validated = RunCapturing("desktop-file-validate " + Quote(desktop));
    EXPECT_EQ(validated.status, 0);
    EXPECT_EQ(validated.out + validated.err, "");  // not even a hint

    // The validator checked the syntax: key=value lines under one group.
    std::map<QString, QString> entry;
    for (const QString& line : QString::fromUtf8(testsupport::ReadFile(desktop)).split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0) entry[line.left(eq)] = line.mid(eq + 1);
    }
    EXPECT_EQ(entry["Type"], "Application");
    EXPECT_EQ(entry["Exec"], "tandrel %F");
    EXPECT_EQ(entry["Icon"], "tandrel");
    EXPECT_FALSE(entry["Name"].isEmpty());
    EXPECT_TRUE(entry["Name[zh_CN]"].contains(QString::fromUtf8("视频转换")))
        << entry["Name[zh_CN]"].toStdString();

    const QStringList listed = entry["MimeType"].split(';', Qt::SkipEmptyParts);
    const std::set<QString> types(listed.begin(), listed.end());
    EXPECT_EQ(types.size(), static_cast<size_t>(listed.size())) << "a type is listed twice";

    // Every type the shared MIME database gives a pattern of the open dialog is offered (the
    // database, not this program, says which types those are); text types (".ts" is also a
    // translation source) are not media. Every listed type is one the database knows.
    QMimeDatabase db;
    int covered = 0;
    for (const QString& pattern : QString::fromLatin1(kDialogPatterns).split(';')) {
        const QString name = QStringLiteral("x") + pattern.mid(1).toLower();
        for (const QMimeType& type : db.mimeTypesForFileName(name)) {
            if (type.name().startsWith(QLatin1String("text/"))) continue;
            ++covered;
            EXPECT_TRUE(types.count(type.name()) ||
                        std::any_of(types.begin(), types.end(),
                                    [&](const QString& t) { return type.aliases().contains(t); }))
                << pattern.toStdString() << " is " << type.name().toStdString();
        }
    }
    EXPECT_GT(covered, 30) << "the MIME database knows too few of the patterns";
    for (const QString& t : types) EXPECT_TRUE(db.mimeTypeForName(t).isValid()) << t.toStdString();
}

TEST_F(Installed, AppStreamFilePassesItsValidator) {
    const std::string metainfo = P("share/metainfo/" + std::string(kAppId) + ".metainfo.xml");
    const auto validated =
        RunCapturing("appstreamcli validate --no-net --pedantic --no-color " + Quote(metainfo));
    EXPECT_EQ(validated.status, 0) << validated.out << validated.err;
    // Errors and warnings fail; notes ("I:", "P:") may stay.
    EXPECT_EQ(validated.out.find("\nE:"), std::string::npos) << validated.out;
    EXPECT_EQ(validated.out.find("\nW:"), std::string::npos) << validated.out;
    EXPECT_NE(validated.out.rfind("E:", 0), 0u) << validated.out;
    EXPECT_NE(validated.out.rfind("W:", 0), 0u) << validated.out;

    const std::string text = testsupport::ReadFile(metainfo);
    EXPECT_NE(text.find("<launchable type=\"desktop-id\">" + std::string(kAppId) + ".desktop<"),
              std::string::npos);
    EXPECT_NE(text.find("<release version=\"" TANDREL_VERSION "\""), std::string::npos)
        << "the release is the project's version " TANDREL_VERSION;
}

QJsonObject PathsOf(const testsupport::CommandResult& r) {
    EXPECT_EQ(r.status, 0) << r.err;
    return QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
}

TEST_F(Installed, ProgramsFindTheirDataUnderThePrefixAndTheBuildFolderKeepsItsOwn) {
    const QJsonObject installed = PathsOf(Run(P("bin/tandrel-cli"), "paths --json"));
    const QString data = QDir(QString::fromStdString(P("share/tandrel"))).canonicalPath();
    EXPECT_EQ(installed["program"].toString(),
              QDir(QString::fromStdString(P("bin"))).canonicalPath());
    EXPECT_EQ(installed["data"].toString(), data);
    EXPECT_EQ(installed["help"].toString(), data + "/help/index.html");
    EXPECT_TRUE(QFileInfo(installed["help"].toString()).isFile());
    EXPECT_TRUE(QFileInfo(installed["sounds"].toString()).isFile());
    // Settings follow the environment (the test's private folder), not the prefix.
    EXPECT_EQ(installed["settings"].toString(),
              QDir::cleanPath(qEnvironmentVariable("TANDREL_CONFIG_DIR")) + "/system.ini");
    EXPECT_EQ(installed["output"].toString(),
              QDir::cleanPath(qEnvironmentVariable("HOME")) + "/Video_Directory");

    // Run from the build folder, the same program finds the copies beside itself.
    const QJsonObject built = PathsOf(Run(kBuild + "/bin/tandrel-cli", "paths --json"));
    EXPECT_EQ(built["data"].toString(),
              QDir(QString::fromStdString(kBuild + "/bin")).canonicalPath());
    EXPECT_TRUE(QFileInfo(built["help"].toString()).isFile());

    // The override still wins over both.
    const std::string elsewhere = testsupport::ScratchDir("data-elsewhere");
    const auto forced = RunCapturing("env TANDREL_DATA_DIR=" + Quote(elsewhere) + " " +
                                     Quote(P("bin/tandrel-cli")) + " paths --json");
    EXPECT_EQ(PathsOf(forced)["data"].toString(), QString::fromStdString(elsewhere));
}

// The installed window program starts as a user starts it (offscreen here): the window is shown
// with the saved skin read from the installed theme file, and the data and the media libraries
// are found; without its data it says what is missing and fails.
TEST_F(Installed, InstalledWindowProgramStartsWithItsData) {
    // A terminal without a display.
    const auto version = RunCapturing("env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY " +
                                      Quote(P("bin/tandrel")) + " --version");
    EXPECT_EQ(version.status, 0) << version.err;
    EXPECT_EQ(version.out, "tandrel " TANDREL_VERSION "\n");

    const std::string config = testsupport::ScratchDir("self-test-config");
    testsupport::WriteFile(config + "/system.ini", "[skin]\nSetSkin=skin15\n");
    const std::string data =
        QDir(QString::fromStdString(P("share/tandrel"))).canonicalPath().toStdString();
    const auto r = RunCapturing("env -u TANDREL_DATA_DIR TANDREL_CONFIG_DIR=" + Quote(config) +
                                " " + Quote(P("bin/tandrel")) + " --self-test");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    std::map<std::string, std::string> lines;
    for (const QString& line : QString::fromStdString(r.out).split('\n', Qt::SkipEmptyParts))
        lines[line.section(' ', 0, 0).toStdString()] = line.section(' ', 1).trimmed().toStdString();
    EXPECT_EQ(lines["window"], "Tandrel");
    EXPECT_EQ(lines["skin"], "skin15 " + data + "/skins/SportsBlack.sui");
    EXPECT_EQ(lines["data"], data);
    EXPECT_EQ(lines["help"], data + "/help/index.html");
    EXPECT_EQ(lines["sounds"], data + "/sounds/cam.wav");
    EXPECT_EQ(lines["libraries"], "bound");

    // A data folder without skins, help or sounds: each is named and the start fails.
    const std::string empty = testsupport::ScratchDir("no-data");
    const auto bare = RunCapturing("env TANDREL_DATA_DIR=" + Quote(empty) + " TANDREL_CONFIG_DIR=" +
                                   Quote(config) + " " + Quote(P("bin/tandrel")) + " --self-test");
    EXPECT_EQ(bare.status, 1) << bare.out << bare.err;
    for (const std::string missing :
         {"/skins/SportsBlack.sui", "/help/index.html", "/sounds/cam.wav"})
        EXPECT_NE(bare.out.find(empty + missing + "  (missing)"), std::string::npos)
            << missing << "\n"
            << bare.out;
}

TEST_F(Installed, InstalledCommandConvertsAFile) {
    const std::string dir = testsupport::ScratchDir("converted");
    const std::string wav = testmedia::Path("wav_pcm");
    const auto r = Run(P("bin/tandrel-cli"), "convert --progress none --profile 206 --out " +
                                                 Quote(dir) + " " + Quote(wav));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string base =
        QFileInfo(QString::fromStdString(wav)).completeBaseName().toStdString();
    const QJsonObject written = testsupport::FfprobeJson(dir + "/" + base + ".mp2");
    EXPECT_NEAR(written["format"].toObject()["duration"].toString().toDouble(), 2.0, 0.15);
}

// The package's Depends names the Debian package of every library the programs bind at run time
// (which dpkg-shlibdeps cannot see), as the machine's package database says, and of the font.
TEST_F(Installed, PackageDependsOnThePackagesOfTheBoundLibraries) {
    const std::string deb = Package();
    ASSERT_FALSE(deb.empty());
    const auto depends = RunCapturing("dpkg-deb -f " + Quote(deb) + " Depends");
    ASSERT_EQ(depends.status, 0) << depends.err;
    std::set<std::string> packages;
    for (const QString& item : QString::fromStdString(depends.out).split(',')) {
        // "name (>= version)" or alternatives "a | b": every name counts.
        for (const QString& alt : item.split('|'))
            packages.insert(alt.trimmed().section(' ', 0, 0).section(':', 0, 0).toStdString());
    }

    // The libraries as `tandrel-cli libs` binds them: "<kind> <file name> header ..., run time".
    const auto libs = Run(P("bin/tandrel-cli"), "libs");
    ASSERT_EQ(libs.status, 0) << libs.err;
    int checked = 0;
    for (const QString& line : QString::fromStdString(libs.out).split('\n', Qt::SkipEmptyParts)) {
        const QString file = line.simplified().section(' ', 1, 1);
        ASSERT_TRUE(file.startsWith("lib") && file.contains(".so.")) << line.toStdString();
        const auto owner = RunCapturing("dpkg -S '*/" + file.toStdString() + "'");
        ASSERT_EQ(owner.status, 0) << file.toStdString() << owner.err;
        const std::string package =
            QString::fromStdString(owner.out).section(':', 0, 0).trimmed().toStdString();
        EXPECT_TRUE(packages.count(package)) << file.toStdString() << " comes with " << package;
        ++checked;
    }
    EXPECT_EQ(checked, 7);  // avutil, swresample, swscale, avcodec, avformat, avfilter, SDL2

    // Every library the programs name as NEEDED (Qt 6, the C++ run time, libopencore-amrnb …),
    // found where the dynamic loader finds it, belongs to a package the package depends on
    // (what dpkg-shlibdeps is there for).
    std::set<std::string> needed;
    for (const char* program : {"bin/tandrel", "bin/tandrel-cli"}) {
        const auto elf = RunCapturing("readelf -d " + Quote(P(program)));
        ASSERT_EQ(elf.status, 0) << elf.err;
        static const QRegularExpression shared(QStringLiteral("Shared library: \\[([^\\]]+)\\]"));
        for (auto it = shared.globalMatch(QString::fromStdString(elf.out)); it.hasNext();)
            needed.insert(it.next().captured(1).toStdString());
    }
    const auto ldd =
        RunCapturing("ldd " + Quote(P("bin/tandrel")) + " " + Quote(P("bin/tandrel-cli")));
    ASSERT_EQ(ldd.status, 0) << ldd.err;
    std::map<std::string, std::string> resolved;  // "libQt6Core.so.6" -> its folder's name
    for (const QString& line : QString::fromStdString(ldd.out).split('\n')) {
        const QStringList parts = line.simplified().split(' ');
        // "name => /path (0x…)", or "/path (0x…)" for the dynamic loader itself.
        const QString path = parts.size() >= 3 && parts[1] == "=>" ? parts[2] : parts[0];
        if (path.startsWith('/')) {
            const QFileInfo file(path);
            resolved[(path == parts[0] ? file.fileName() : parts[0]).toStdString()] =
                file.dir().dirName().toStdString();
        }
    }
    EXPECT_TRUE(needed.count("libQt6Widgets.so.6")) << "the programs link Qt 6";
    for (const std::string& library : needed) {
        ASSERT_TRUE(resolved.count(library)) << library << " is not found\n" << ldd.out;
        const std::string pattern = "*/" + resolved[library] + "/" + library;
        const auto owner = RunCapturing("dpkg -S '" + pattern + "'");
        ASSERT_EQ(owner.status, 0) << pattern << owner.err;
        const std::string package =
            QString::fromStdString(owner.out).section(':', 0, 0).trimmed().toStdString();
        EXPECT_TRUE(packages.count(package)) << library << " comes with " << package;
    }

    // The serif CJK face the designed font maps to.
    const auto font = RunCapturing("fc-match -f '%{file}' 'Noto Serif CJK SC'");
    ASSERT_EQ(font.status, 0);
    const auto fontOwner = RunCapturing("dpkg -S " + Quote(font.out));
    ASSERT_EQ(fontOwner.status, 0) << font.out;
    EXPECT_TRUE(
        packages.count(QString::fromStdString(fontOwner.out).section(':', 0, 0).toStdString()))
        << fontOwner.out;

    // And the package holds the installed layout, with the programs under /usr/bin.
    const auto contents = RunCapturing("dpkg-deb -c " + Quote(deb));
    for (const char* path :
         {"./usr/bin/tandrel", "./usr/bin/tandrel-cli", "./usr/share/tandrel/help/index.html",
          "./usr/share/tandrel/sounds/cam.wav",
          "./usr/share/applications/example.tandrel.Tandrel.desktop"})
        EXPECT_NE(contents.out.find(std::string(path) + "\n"), std::string::npos) << path;
}

// Debian's package checker finds nothing to fault: a machine-readable copyright file, the
// changelog, a manual page for each program, no error and no warning.
TEST_F(Installed, PackagePassesLintian) {
    const std::string deb = Package();
    ASSERT_FALSE(deb.empty());
    const auto contents = RunCapturing("dpkg-deb -c " + Quote(deb));
    for (const char* path :
         {"./usr/share/doc/tandrel/copyright", "./usr/share/doc/tandrel/changelog.gz",
          "./usr/share/man/man1/tandrel.1.gz", "./usr/share/man/man1/tandrel-cli.1.gz"})
        EXPECT_NE(contents.out.find(std::string(path) + "\n"), std::string::npos) << path;
    const auto r = RunCapturing("lintian --fail-on error,warning " + Quote(deb));
    EXPECT_EQ(r.status, 0) << r.out << r.err;
}

}  // namespace
