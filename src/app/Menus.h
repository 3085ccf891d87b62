// The main window's "皮肤" and "帮助" drop-down menus. UI thread only.
#pragma once

#include <QStringList>

class QAction;
class QMenu;
class QWidget;
class TForm4;
class TForm6;

namespace platform {
class IShell;
}

namespace menus {

// The skin values in the skin menu's order (17 items; "skin17" has none).
QStringList SkinMenuOrder();

// Fills `menu` with the skin items, without check marks. Choosing one applies that skin to
// `mainWindow` at once and saves it as `SetSkin`; other windows take it at their next showing.
void FillSkinMenu(QMenu* menu, QWidget* mainWindow);

// Fills `menu` with "帮助系统?" (F1, also added to `mainWindow` so that F1 works without the
// menu open), "网上升级...", "软件网站", "作者联系信箱" and "关于软件", with separators.
// Returns the help item.
QAction* FillHelpMenu(QMenu* menu, QWidget* mainWindow, platform::IShell* shell, TForm6* update,
                      TForm4* about);

}  // namespace menus
