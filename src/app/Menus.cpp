#include "app/Menus.h"

#include <QAction>
#include <QMenu>

#include "app/AboutDialog.h"
#include "app/Links.h"
#include "app/UpdateDialog.h"
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

QAction* FillHelpMenu(QMenu* menu, QWidget* mainWindow, platform::IShell* shell, TForm6* update,
                      TForm4* about) {
    QAction* help = menu->addAction(U("帮助系统?"));
    help->setShortcut(QKeySequence(Qt::Key_F1));
    help->setShortcutContext(Qt::WindowShortcut);
    mainWindow->addAction(help);
    QObject::connect(help, &QAction::triggered, mainWindow, [shell] { links::OpenHelp(*shell); });

    QAction* upgrade = menu->addAction(U("网上升级..."));
    QObject::connect(upgrade, &QAction::triggered, mainWindow, [update] { update->exec(); });
    menu->addSeparator();
    QAction* site = menu->addAction(U("软件网站"));
    QObject::connect(site, &QAction::triggered, mainWindow, [shell] { links::OpenWebSite(*shell); });
    QAction* mail = menu->addAction(U("作者联系信箱"));
    QObject::connect(mail, &QAction::triggered, mainWindow, [shell] { links::OpenMail(*shell); });
    menu->addSeparator();
    QAction* aboutItem = menu->addAction(U("关于软件"));
    QObject::connect(aboutItem, &QAction::triggered, mainWindow, [about] { about->exec(); });
    return help;
}

}  // namespace menus
