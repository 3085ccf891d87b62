// Qt's own texts in the program's language: the buttons, labels and menus that Qt draws itself
// (file and folder dialogs, message-box buttons, the context menus of text fields). UI thread,
// once the application object exists.
#pragma once

namespace platform {

// Installs Qt's Simplified Chinese catalogue (qt_zh_CN from Qt's translations folder, Debian
// package qt6-translations-l10n) on the application, whatever the user's locale: the program's
// own texts are Chinese too. False, and Qt's English texts stay, when the catalogue is missing.
// Installing it again does nothing more.
bool InstallQtTranslations();

}  // namespace platform
