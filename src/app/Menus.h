// The main window's "皮肤" drop-down menu. UI thread only.
#pragma once

#include <QStringList>

class QMenu;
class QWidget;

namespace menus {

// The skin values in the skin menu's order (17 items; "skin17" has none).
QStringList SkinMenuOrder();

// Fills `menu` with the skin items, without check marks. Choosing one applies that skin to
// `mainWindow` at once and saves it as `SetSkin`; other windows take it at their next showing.
void FillSkinMenu(QMenu* menu, QWidget* mainWindow);

}  // namespace menus
