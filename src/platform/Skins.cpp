#include "platform/Skins.h"

#include <QFile>
#include <QWidget>

#include "platform/AppPaths.h"
#include "platform/IniFile.h"

namespace platform::skins {

namespace {

// The built-in looks share one sheet whose @name@ fields take the colours of a palette; the theme
// files hold the same rules with their own colours. Every control shows its state: check-box and
// radio indicators ticked or not (the tick is an image compiled into the program, light or dark
// to stand out on the accent colour), disabled controls on the @off@ surface in the @disabled@
// colour; text keeps at least 4.5:1 contrast to what it is drawn on.
constexpr const char* kSheet = R"(
QDialog, QMainWindow, QWidget[tandrelWindow="true"] { background-color: @window@; color: @text@; }
QLabel, QCheckBox, QRadioButton { color: @text@; background: transparent; }
QLabel:disabled, QCheckBox:disabled, QRadioButton:disabled { color: @disabled@; }
QCheckBox::indicator, QRadioButton::indicator { width: 13px; height: 13px;
    background-color: @base@; border: 1px solid @title@; }
QRadioButton::indicator { border-radius: 7px; }
QCheckBox::indicator:hover, QRadioButton::indicator:hover { border-color: @accent@; }
QCheckBox::indicator:checked { background-color: @accent@; border-color: @accent@;
    image: url(:/skins/tick-@tick@.xpm); }
QRadioButton::indicator:checked { border-color: @accent@; background-color: qradialgradient(
    cx:0.5, cy:0.5, radius:0.5, fx:0.5, fy:0.5, stop:0 @atext@, stop:0.4 @atext@,
    stop:0.5 @accent@, stop:1 @accent@); }
QCheckBox::indicator:disabled, QRadioButton::indicator:disabled { background-color: @off@;
    border-color: @border@; }
QCheckBox::indicator:checked:disabled { background-color: @disabled@; border-color: @disabled@; }
QRadioButton::indicator:checked:disabled { border-color: @disabled@; background-color:
    qradialgradient(cx:0.5, cy:0.5, radius:0.5, fx:0.5, fy:0.5, stop:0 @off@, stop:0.4 @off@,
    stop:0.5 @disabled@, stop:1 @disabled@); }
QGroupBox { background-color: @group@; color: @title@; border: 1px solid @border@;
    border-radius: @radius@px; margin-top: 14px; padding-top: 6px; }
QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 8px;
    padding: 0 4px; color: @title@; }
QPushButton { color: @btext@; background-color: qlineargradient(x1:0, y1:0, x2:0, y2:1,
    stop:0 @btop@, stop:1 @bbottom@); border: 1px solid @bborder@; border-radius: @radius@px;
    padding: 3px 12px; min-height: 18px; }
QPushButton:hover { border-color: @accent@; }
QPushButton:pressed { background-color: @accent@; color: @atext@; }
QPushButton:disabled { color: @disabled@; background-color: @off@; border-color: @border@; }
QLineEdit, QTextEdit, QPlainTextEdit, QComboBox, QAbstractItemView { background-color: @base@;
    color: @basetext@; border: 1px solid @border@; border-radius: 2px;
    selection-background-color: @accent@; selection-color: @atext@; }
QLineEdit:read-only { background-color: @group@; }
QLineEdit:disabled, QTextEdit:disabled, QPlainTextEdit:disabled, QComboBox:disabled,
QAbstractItemView:disabled { background-color: @off@; color: @disabled@; border-color: @border@; }
QComboBox { padding: 1px 6px; }
QComboBox QAbstractItemView { border: 1px solid @bborder@; }
QHeaderView::section { color: @btext@; background-color: qlineargradient(x1:0, y1:0, x2:0, y2:1,
    stop:0 @btop@, stop:1 @bbottom@); border: 1px solid @bborder@; padding: 2px 4px; }
QToolBar, QWidget#suiToolBar1 { background-color: qlineargradient(x1:0, y1:0, x2:0, y2:1,
    stop:0 @bartop@, stop:1 @barbottom@); border: none; spacing: 2px; }
QToolButton { color: @bartext@; background: transparent; border: 1px solid transparent;
    border-radius: @radius@px; padding: 2px; }
QToolButton:hover { background-color: @hover@; border-color: @accent@; color: @basetext@; }
QToolButton:pressed { background-color: @accent@; color: @atext@; }
QToolButton:disabled { color: @disabled@; }
QMenu { background-color: @base@; color: @basetext@; border: 1px solid @bborder@; }
QMenu::item { padding: 4px 24px 4px 20px; }
QMenu::item:selected { background-color: @accent@; color: @atext@; }
QMenu::item:disabled { color: @disabled@; }
QMenu::separator { height: 1px; background: @border@; margin: 3px 6px; }
QTabWidget::pane { background-color: @group@; border: 1px solid @border@; }
QTabBar::tab { color: @btext@; background-color: qlineargradient(x1:0, y1:0, x2:0, y2:1,
    stop:0 @btop@, stop:1 @bbottom@); border: 1px solid @bborder@; padding: 4px 10px; }
QTabBar::tab:selected { background-color: @accent@; color: @atext@; }
QProgressBar { background-color: @base@; color: @basetext@; border: 1px solid @bborder@;
    border-radius: @radius@px; text-align: center; }
QProgressBar::chunk { background-color: @accent@; }
QScrollBar:vertical { background: @group@; width: 14px; }
QScrollBar:horizontal { background: @group@; height: 14px; }
QScrollBar::handle { background: @bbottom@; border: 1px solid @bborder@; border-radius: 3px;
    min-height: 20px; min-width: 20px; }
QSlider::groove:horizontal { background: @border@; height: 4px; }
QSlider::handle:horizontal { background: @accent@; width: 10px; margin: -5px 0;
    border-radius: 3px; }
QLabel#TitleBand { background-color: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 @bartop@,
    stop:1 @barbottom@); color: @bartext@; font-weight: bold; }
QStatusBar { background-color: @bartop@; color: @bartext@; }
)";

struct Palette {
    const char* name;
    // window text group title base basetext btop bbottom bborder btext accent atext border
    // disabled bartop barbottom bartext hover radius off tick
    const char* values;
};

constexpr const char* kFields[] = {"window",    "text",    "group",   "title",    "base",
                                   "basetext",  "btop",    "bbottom", "bborder",  "btext",
                                   "accent",    "atext",   "border",  "disabled", "bartop",
                                   "barbottom", "bartext", "hover",   "radius",   "off",
                                   "tick"};

constexpr Palette kBuiltIn[] = {
    {"MacOS",
     "#ececec #1c1c1e #f5f5f5 #3a3a3c #ffffff #1c1c1e #ffffff #dcdcdc #a8a8a8 #1c1c1e #1973d2 "
     "#ffffff #c8c8c8 #9a9a9a #e8e8e8 #c9c9c9 #1c1c1e #d7e6f8 6 #e1e1e1 light"},
    {"WinXP",
     "#ece9d8 #000000 #f4f3ea #0046d5 #ffffff #000000 #ffffff #d6d0c5 #003c74 #000000 #316ac5 "
     "#ffffff #d0d0bf #aca899 #3371de #1c52c7 #ffffff #c1d2ee 3 #e6e5e0 light"},
    {"DeepBlue",
     "#1e2a44 #e6ecf5 #24324f #9cc4ff #101a2e #e6ecf5 #2d4d84 #1e3866 #4a6aa6 #e6ecf5 #2573d5 "
     "#ffffff #3a4d72 #7888a6 #253a66 #14223f #dce6f6 #2f4a7e 2 #2f3b52 light"},
    {"Protein",
     "#e8e4f0 #2a1f3d #f3f0f8 #6a4c96 #ffffff #2a1f3d #ffffff #d9d0ea #9c89bf #2a1f3d #7b5ea7 "
     "#ffffff #c9bedd #9a93a8 #8268b0 #5f4487 #ffffff #e2d8f2 8 #e1dfe5 light"},
    {"BlueGlass",
     "#d9ecfa #0f2f4f #eaf5fd #1d69ad #ffffff #0f2f4f #f4fbff #a9d3f3 #5d9ccf #0f2f4f #1c76c4 "
     "#ffffff #a5c9e6 #87a0b6 #1e79b2 #2879bb #ffffff #c6e3f8 7 #dbe2e9 light"},
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
