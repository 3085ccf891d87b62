// Skins: the value table, the saved choice in system.ini, and that every skin parses and gives
// its own look (rendered offscreen, compared pixel by pixel).
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstdlib>
#include <set>

#include <gtest/gtest.h>

#include "PlatformTestApp.h"
#include "TestSupport.h"
#include "platform/AppPaths.h"
#include "platform/IniFile.h"
#include "platform/Skins.h"

using namespace platform;
using platformtest::EnsureApp;

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// The shipped theme files are read from the source tree.
void UseSourceData() { ::setenv("TANDREL_DATA_DIR", TANDREL_SOURCE_RESOURCES, 1); }

// A small window with the kinds of controls the program's windows have.
class Sample : public QDialog {
public:
    Sample() {
        setFixedSize(240, 200);
        auto* layout = new QVBoxLayout(this);
        auto* group = new QGroupBox(U("文件格式信息"));
        auto* inner = new QVBoxLayout(group);
        inner->addWidget(new QLabel(U("文件名：")));
        auto* edit = new QLineEdit(QStringLiteral("clip.mp4"));
        inner->addWidget(edit);
        layout->addWidget(group);
        auto* combo = new QComboBox;
        combo->addItem(U("正常转换"));
        layout->addWidget(combo);
        auto* bar = new QProgressBar;
        bar->setValue(40);
        layout->addWidget(bar);
        layout->addWidget(new QPushButton(U("确定")));
    }
    QImage Render() {
        ensurePolished();
        QImage image(size(), QImage::Format_ARGB32);
        image.fill(Qt::magenta);
        render(&image);
        return image;
    }
};

// Collects Qt's style sheet complaints while alive.
class Warnings {
public:
    Warnings() { previous_ = qInstallMessageHandler(&Warnings::Handle); }
    ~Warnings() { qInstallMessageHandler(previous_); }
    static QStringList& All() {
        static QStringList all;
        return all;
    }

private:
    static void Handle(QtMsgType, const QMessageLogContext&, const QString& text) { All() << text; }
    QtMessageHandler previous_;
};

}  // namespace

TEST(Skins, TheEighteenValues) {
    const auto& all = skins::All();
    ASSERT_EQ(all.size(), 18u);
    // Value → skin as the settings file names them; built-ins by style name.
    const char* builtIn[18] = {"MacOS",    nullptr,     nullptr, "WinXP", "Protein", nullptr,
                               "DeepBlue", "BlueGlass", nullptr, nullptr, nullptr,   nullptr,
                               nullptr,    nullptr,     nullptr, nullptr, nullptr,   nullptr};
    const char* theme[18] = {nullptr,
                             "skins/msn.sui",
                             "skins/mp10.sui",
                             nullptr,
                             nullptr,
                             "skins/RealOne.sui",
                             nullptr,
                             nullptr,
                             "skins/Longhorn.sui",
                             "skins/DeepGreen.sui",
                             "skins/DeepOrange.sui",
                             "skins/GreenGlass.sui",
                             "skins/OneBlue.sui",
                             "skins/OneCyan.sui",
                             "skins/SportsBlack.sui",
                             "skins/xpgreen.sui",
                             "skins/royale.sui",
                             "skins/winter.sui"};
    for (int i = 0; i < 18; ++i) {
        const skins::Skin& s = all[static_cast<size_t>(i)];
        EXPECT_EQ(QString::fromLatin1(s.value), QStringLiteral("skin%1").arg(i + 1));
        EXPECT_STREQ(s.builtIn ? s.builtIn : "", builtIn[i] ? builtIn[i] : "") << s.value;
        EXPECT_STREQ(s.theme ? s.theme : "", theme[i] ? theme[i] : "") << s.value;
        EXPECT_EQ(s.caption == nullptr, i == 16) << s.value;  // skin17 has no menu item
        EXPECT_EQ(skins::Find(QString::fromLatin1(s.value)), &s);
    }
    EXPECT_STREQ(all[0].caption, "Mac苹果皮肤");
    EXPECT_STREQ(all[17].caption, "冬天的色彩皮肤");
    // Values compare exactly.
    for (const char* other : {"other", "Error", "", "Skin1", "skin1 ", "skin19", "skin0"})
        EXPECT_EQ(skins::Find(QString::fromLatin1(other)), nullptr) << other;
}

TEST(Skins, EverySkinParsesAndLooksDifferent) {
    EnsureApp();
    UseSourceData();
    Sample designed;
    const QImage plain = designed.Render();
    std::set<QString> sheets;
    std::vector<QImage> looks;
    Warnings warnings;
    for (const skins::Skin& s : skins::All()) {
        const QString sheet = skins::StyleSheet(s);
        ASSERT_FALSE(sheet.isEmpty()) << s.value;
        sheets.insert(sheet);
        Sample window;
        ASSERT_TRUE(skins::Apply(&window, QString::fromLatin1(s.value))) << s.value;
        EXPECT_EQ(window.styleSheet(), sheet);
        looks.push_back(window.Render());
        EXPECT_NE(looks.back(), plain) << s.value << " looks like the designed window";
    }
    EXPECT_EQ(sheets.size(), 18u);
    for (size_t i = 0; i < looks.size(); ++i)
        for (size_t j = i + 1; j < looks.size(); ++j)
            EXPECT_NE(looks[i], looks[j]) << "skin" << i + 1 << " and skin" << j + 1;
    EXPECT_TRUE(Warnings::All().isEmpty()) << Warnings::All().join(QLatin1Char('\n')).toStdString();
    // The check above can fail: a broken sheet does make Qt complain.
    Sample broken;
    broken.setStyleSheet(QStringLiteral("QDialog { background-color: ; } }"));
    broken.Render();
    EXPECT_FALSE(Warnings::All().isEmpty());
}

TEST(Skins, UnknownValuesAndMissingThemeFilesChangeNothing) {
    EnsureApp();
    ::setenv("TANDREL_DATA_DIR", testsupport::ScratchDir("no-skins").c_str(), 1);
    Sample window;
    window.setStyleSheet(QStringLiteral("QDialog { background: red; }"));
    for (const char* value : {"other", "Error", "skin19", "skin2"})  // skin2: its file is missing
        EXPECT_FALSE(skins::Apply(&window, QString::fromLatin1(value))) << value;
    EXPECT_EQ(window.styleSheet(), QStringLiteral("QDialog { background: red; }"));
    // A built-in skin needs no file.
    EXPECT_TRUE(skins::Apply(&window, QStringLiteral("skin7")));
    EXPECT_EQ(window.styleSheet(), skins::StyleSheet(*skins::Find(QStringLiteral("skin7"))));
}

TEST(Skins, SavedChoiceLivesInSystemIni) {
    EnsureApp();
    UseSourceData();
    const IniFile settings(AppPaths::SettingsFile());
    // No file: the fallback "Error", which changes nothing.
    EXPECT_EQ(skins::SavedSkin(), QStringLiteral("Error"));
    Sample window;
    skins::ApplySavedSkin(&window);
    EXPECT_TRUE(window.styleSheet().isEmpty());

    ASSERT_TRUE(skins::SaveSkin(QStringLiteral("skin1")));
    EXPECT_EQ(settings.ReadString(QStringLiteral("skin"), QStringLiteral("SetSkin")),
              QStringLiteral("skin1"));
    skins::ApplySavedSkin(&window);
    EXPECT_EQ(window.styleSheet(), skins::StyleSheet(skins::All()[0]));

    // skin17 has no menu item but works through the file, written by hand.
    testsupport::WriteFile(AppPaths::SettingsFile().toStdString(),
                           "[OutPath]\nOutPath=/tmp/out\n[SKIN]\nsetskin=skin17\n");
    EXPECT_EQ(skins::SavedSkin(), QStringLiteral("skin17"));
    Sample royale;
    skins::ApplySavedSkin(&royale);
    EXPECT_EQ(royale.styleSheet(), skins::StyleSheet(*skins::Find(QStringLiteral("skin17"))));
    EXPECT_TRUE(royale.styleSheet().contains(QStringLiteral("#335ea8")));

    // "other" leaves a window as it is.
    ASSERT_TRUE(skins::SaveSkin(QStringLiteral("other")));
    Sample plain;
    skins::ApplySavedSkin(&plain);
    EXPECT_TRUE(plain.styleSheet().isEmpty());
    EXPECT_EQ(settings.ReadString(QStringLiteral("OutPath"), QStringLiteral("OutPath")),
              QStringLiteral("/tmp/out"));
}
