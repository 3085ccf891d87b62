#include "platform/Skins.h"

#include <QFile>
#include <QWidget>

#include "platform/AppPaths.h"
#include "platform/IniFile.h"

namespace platform::skins {

namespace {

// The built-in looks share one sheet whose @name@ fields take the colours of a palette.
constexpr const char* kSheet =
    "QDialog, QMainWindow, QWidget[tandrelWindow=\"true\"] { background-color: @window@; color: "
    "@text@; }\n"
    "QLabel, QCheckBox, QRadioButton { color: @text@; background: transparent; }\n"
    "QGroupBox { background-color: @group@; color: @title@; border: 1px solid @border@; "
    "border-radius: @radius@px; margin-top: 14px; padding-top: 6px; }\n"
    "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 8px; "
    "padding: 0 4px; color: @title@; }\n"
    "QPushButton { color: @btext@; background-color: qlineargradient(x1:0, y1:0, x2:0, y2:1, "
    "stop:0 @btop@, stop:1 @bbottom@); border: 1px solid @bborder@; border-radius: @radius@px; "
    "padding: 3px 12px; min-height: 18px; }\n"
    "QPushButton:hover { border-color: @accent@; }\n"
    "QPushButton:pressed { background-color: @accent@; color: @atext@; }\n"
    "QPushButton:disabled { color: @disabled@; background-color: @group@; border-color: @border@; "
    "}\n"
    "QLineEdit, QTextEdit, QPlainTextEdit, QComboBox, QAbstractItemView { background-color: "
    "@base@; color: @basetext@; border: 1px solid @border@; border-radius: 2px; "
    "selection-background-color: @accent@; selection-color: @atext@; }\n"
    "QLineEdit:read-only { background-color: @group@; }\n"
    "QComboBox { padding: 1px 6px; }\n"
    "QComboBox QAbstractItemView { border: 1px solid @bborder@; }\n"
    "QHeaderView::section { color: @btext@; background-color: qlineargradient(x1:0, y1:0, x2:0, "
    "y2:1, stop:0 @btop@, stop:1 @bbottom@); border: 1px solid @bborder@; padding: 2px 4px; }\n"
    "QToolBar, QWidget#suiToolBar1 { background-color: qlineargradient(x1:0, y1:0, x2:0, y2:1, "
    "stop:0 @bartop@, stop:1 @barbottom@); border: none; spacing: 2px; }\n"
    "QToolButton { color: @bartext@; background: transparent; border: 1px solid transparent; "
    "border-radius: @radius@px; padding: 2px; }\n"
    "QToolButton:hover { background-color: @hover@; border-color: @accent@; }\n"
    "QToolButton:pressed { background-color: @accent@; color: @atext@; }\n"
    "QToolButton:disabled { color: @disabled@; }\n"
    "QMenu { background-color: @base@; color: @basetext@; border: 1px solid @bborder@; }\n"
    "QMenu::item { padding: 4px 24px 4px 20px; }\n"
    "QMenu::item:selected { background-color: @accent@; color: @atext@; }\n"
    "QMenu::separator { height: 1px; background: @border@; margin: 3px 6px; }\n"
    "QTabWidget::pane { background-color: @group@; border: 1px solid @border@; }\n"
    "QTabBar::tab { color: @btext@; background-color: qlineargradient(x1:0, y1:0, x2:0, y2:1, "
    "stop:0 @btop@, stop:1 @bbottom@); border: 1px solid @bborder@; padding: 4px 10px; }\n"
    "QTabBar::tab:selected { background-color: @accent@; color: @atext@; }\n"
    "QProgressBar { background-color: @base@; color: @basetext@; border: 1px solid @bborder@; "
    "border-radius: @radius@px; text-align: center; }\n"
    "QProgressBar::chunk { background-color: @accent@; }\n"
    "QScrollBar:vertical { background: @group@; width: 14px; }\n"
    "QScrollBar:horizontal { background: @group@; height: 14px; }\n"
    "QScrollBar::handle { background: @bbottom@; border: 1px solid @bborder@; border-radius: 3px; "
    "min-height: 20px; min-width: 20px; }\n"
    "QSlider::groove:horizontal { background: @border@; height: 4px; }\n"
    "QSlider::handle:horizontal { background: @accent@; width: 10px; margin: -5px 0; "
    "border-radius: 3px; }\n"
    "QLabel#TitleBand { background-color: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 @bartop@, "
    "stop:1 @barbottom@); color: @bartext@; font-weight: bold; }\n"
    "QStatusBar { background-color: @bartop@; color: @bartext@; }\n";

struct Palette {
    const char* name;
    // window text group title base basetext btop bbottom bborder btext accent atext border
    // disabled bartop barbottom bartext hover radius
    const char* values;
};

constexpr const char* kFields[] = {"window",    "text",    "group",   "title",    "base",
                                   "basetext",  "btop",    "bbottom", "bborder",  "btext",
                                   "accent",    "atext",   "border",  "disabled", "bartop",
                                   "barbottom", "bartext", "hover",   "radius"};

constexpr Palette kBuiltIn[] = {
    {"MacOS",
     "#ececec #1c1c1e #f5f5f5 #3a3a3c #ffffff #1c1c1e #ffffff #dcdcdc #a8a8a8 #1c1c1e #3d8ee9 "
     "#ffffff #c8c8c8 #9a9a9a #e8e8e8 #c9c9c9 #1c1c1e #d7e6f8 6"},
    {"WinXP",
     "#ece9d8 #000000 #f4f3ea #0046d5 #ffffff #000000 #ffffff #d6d0c5 #003c74 #000000 #316ac5 "
     "#ffffff #d0d0bf #aca899 #3b77e0 #1c52c7 #ffffff #c1d2ee 3"},
    {"DeepBlue",
     "#1e2a44 #e6ecf5 #24324f #9cc4ff #101a2e #e6ecf5 #2d4d84 #1e3866 #4a6aa6 #e6ecf5 #4a90e2 "
     "#ffffff #3a4d72 #7888a6 #253a66 #14223f #dce6f6 #2f4a7e 2"},
    {"Protein",
     "#e8e4f0 #2a1f3d #f3f0f8 #6a4c96 #ffffff #2a1f3d #ffffff #d9d0ea #9c89bf #2a1f3d #7b5ea7 "
     "#ffffff #c9bedd #9a93a8 #8e74b8 #5f4487 #ffffff #e2d8f2 8"},
    {"BlueGlass",
     "#d9ecfa #0f2f4f #eaf5fd #1f6fb5 #ffffff #0f2f4f #f4fbff #a9d3f3 #5d9ccf #0f2f4f #1f7fd0 "
     "#ffffff #a5c9e6 #87a0b6 #8cc6f0 #3f93d6 #ffffff #c6e3f8 7"},
};

QString BuiltInSheet(const char* name) {
    for (const Palette& p : kBuiltIn) {
        if (qstrcmp(p.name, name) != 0) continue;
        QString sheet = QString::fromLatin1(kSheet);
        const QStringList values = QString::fromLatin1(p.values).split(QLatin1Char(' '));
        for (size_t i = 0; i < std::size(kFields); ++i)
            sheet.replace(QLatin1Char('@') + QLatin1String(kFields[i]) + QLatin1Char('@'),
                          values.value(static_cast<qsizetype>(i)));
        return sheet;
    }
    return {};
}

constexpr qint64 kMaxThemeBytes = 1 << 20;

const char kSection[] = "skin";
const char kKey[] = "SetSkin";

}  // namespace

const std::vector<Skin>& All() {
    static const std::vector<Skin> skins = {
        {"skin1", "MacOS", nullptr, "Mac苹果皮肤"},
        {"skin2", nullptr, "skins/msn.sui", "微软MSN皮肤"},
        {"skin3", nullptr, "skins/mp10.sui", "WMP10皮肤"},
        {"skin4", "WinXP", nullptr, "WinXP标准皮肤"},
        {"skin5", "Protein", nullptr, "Protein样式皮肤"},
        {"skin6", nullptr, "skins/RealOne.sui", "RealOne风格皮肤"},
        {"skin7", "DeepBlue", nullptr, "深蓝色皮肤"},
        {"skin8", "BlueGlass", nullptr, "蓝色玻璃皮肤"},
        {"skin9", nullptr, "skins/Longhorn.sui", "Vista风格皮肤"},
        {"skin10", nullptr, "skins/DeepGreen.sui", "深绿色皮肤"},
        {"skin11", nullptr, "skins/DeepOrange.sui", "桔红色皮肤"},
        {"skin12", nullptr, "skins/GreenGlass.sui", "绿色玻璃皮肤"},
        {"skin13", nullptr, "skins/OneBlue.sui", "时尚蓝色blue皮肤"},
        {"skin14", nullptr, "skins/OneCyan.sui", "时尚的Cyan皮肤"},
        {"skin15", nullptr, "skins/SportsBlack.sui", "运动黑色皮肤"},
        {"skin16", nullptr, "skins/xpgreen.sui", "XP绿色皮肤"},
        {"skin17", nullptr, "skins/royale.sui", nullptr},
        {"skin18", nullptr, "skins/winter.sui", "冬天的色彩皮肤"},
    };
    return skins;
}

const Skin* Find(const QString& value) {
    for (const Skin& s : All())
        if (value == QLatin1String(s.value)) return &s;
    return nullptr;
}

QString StyleSheet(const Skin& skin) {
    if (skin.builtIn) return BuiltInSheet(skin.builtIn);
    QFile file(AppPaths::DataFile(QString::fromLatin1(skin.theme)));
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxThemeBytes) return {};
    return QString::fromUtf8(file.read(kMaxThemeBytes));
}

bool Apply(QWidget* window, const QString& value) {
    const Skin* skin = Find(value);
    if (!skin || !window) return false;
    const QString sheet = StyleSheet(*skin);
    if (sheet.isEmpty()) return false;
    // The sheets style the window itself through this property: a main window that is neither
    // a dialog nor a QMainWindow is still painted.
    window->setProperty("tandrelWindow", true);
    if (window->styleSheet() != sheet) window->setStyleSheet(sheet);
    return true;
}

QString SavedSkin() {
    return IniFile(AppPaths::SettingsFile())
        .ReadString(QLatin1String(kSection), QLatin1String(kKey), QStringLiteral("Error"));
}

bool SaveSkin(const QString& value) {
    return IniFile(AppPaths::SettingsFile())
        .WriteString(QLatin1String(kSection), QLatin1String(kKey), value);
}

void ApplySavedSkin(QWidget* window) { Apply(window, SavedSkin()); }

}  // namespace platform::skins
