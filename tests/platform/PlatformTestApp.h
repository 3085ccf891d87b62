// The QApplication of the platform test program (offscreen; widgets for the dialogs and skins).
#pragma once

#include "WidgetTestSupport.h"

namespace platformtest {

inline void EnsureApp() { widgettest::EnsureApp("platform_tests"); }

}  // namespace platformtest
