// The QApplication of the platform test program (offscreen; widgets for the dialogs and skins).
#pragma once

#include "WidgetTestSupport.h"
#include "platform/Translations.h"

namespace platformtest {

// With Qt's own texts in Chinese, as the program has them.
inline void EnsureApp() {
    if (widgettest::EnsureApp("platform_tests")) platform::InstallQtTranslations();
}

}  // namespace platformtest
