#include "app/Menus.h"

#include <QAction>
#include <QMenu>

#include "platform/Skins.h"

namespace menus {

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace

QStringList SkinMenuOrder() {
    return {QStringLiteral("skin2"),  QStringLiteral("skin18"), QStringLiteral("skin3"),
            QStringLiteral("skin4"),  QStringLiteral("skin5"),  QStringLiteral("skin6"),
            QStringLiteral("skin7"),  QStringLiteral("skin8"),  QStringLiteral("skin9"),
            QStringLiteral("skin1"),  QStringLiteral("skin10"), QStringLiteral("skin11"),
            QStringLiteral("skin12"), QStringLiteral("skin13"), QStringLiteral("skin14"),
            QStringLiteral("skin15"), QStringLiteral("skin16")};
}

void FillSkinMenu(QMenu* menu, QWidget* mainWindow) {
    for (const QString& value : SkinMenuOrder()) {
        const platform::skins::Skin* skin = platform::skins::Find(value);
        QAction* item = menu->addAction(U(skin->caption));
        item->setCheckable(false);
        QObject::connect(item, &QAction::triggered, mainWindow, [mainWindow, value] {
            platform::skins::Apply(mainWindow, value);
            platform::skins::SaveSkin(value);
        });
    }
}

}  // namespace menus
