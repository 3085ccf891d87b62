#include "platform/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace platform {

bool InstallQtTranslations() {
    auto* application = QCoreApplication::instance();
    if (!application) return false;
    // Owned by the application object, so it lives as long as the texts it translates.
    const QString name = QStringLiteral("tandrelQtTranslator");
    if (application->findChild<QTranslator*>(name, Qt::FindDirectChildrenOnly)) return true;
    auto* translator = new QTranslator(application);
    translator->setObjectName(name);
    // "qt" is the catalogue that pulls in qtbase and the other modules' texts.
    if (!translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qt"),
                          QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    return true;
}

}  // namespace platform
