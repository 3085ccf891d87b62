// Window skins: the saved choice ("skin1" … "skin18" in section `skin`, key `SetSkin` of
// system.ini) and the look each value gives. A skin is a Qt style sheet: five built into the
// program (MacOS, WinXP, DeepBlue, Protein, BlueGlass) and thirteen theme files
// "skins/<name>.sui" in the data folder, each holding a style sheet. Sheets may use the check
// marks compiled into the program, ":/skins/tick-light.xpm" and ":/skins/tick-dark.xpm". UI
// thread.
//
// Every window applies the saved skin for itself: the main window when it is created, the
// others each time they are shown (ApplySavedSkin). A value that names no skin ("other", the
// fallback "Error", anything else) leaves the window as it is; so does a theme file that cannot
// be read.
#pragma once

#include <QString>
#include <vector>

class QWidget;

namespace platform::skins {

struct Skin {
    const char* value;    // "skin1" …
    const char* builtIn;  // style name of a built-in skin; nullptr for a theme file
    const char* theme;    // theme file relative to the data folder ("skins/msn.sui"); or nullptr
    const char* caption;  // the skin menu's caption, UTF-8; nullptr when the menu has none
};

// The eighteen skins, "skin1" first.
const std::vector<Skin>& All();
// The skin of a value (exact comparison); nullptr for any other value.
const Skin* Find(const QString& value);

// The skin's style sheet: the built-in text, or the theme file's contents (at most 1 MiB,
// UTF-8). Empty when the theme file is missing or unreadable.
QString StyleSheet(const Skin& skin);

// Gives `window` (and its children) the look of `value`. False, and nothing changed, for a
// value that names no skin or a theme file that cannot be read.
bool Apply(QWidget* window, const QString& value);

// `SetSkin` from the settings file, "Error" when it or the file is missing.
QString SavedSkin();
// Writes `value` as `SetSkin`; false when the settings file cannot be written.
bool SaveSkin(const QString& value);
// Button1Click: applies the saved skin to `window`.
void ApplySavedSkin(QWidget* window);

}  // namespace platform::skins
