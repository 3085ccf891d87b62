// The QApplication of the platform test program (offscreen; widgets for the dialogs and skins).
#pragma once

#include <QApplication>

namespace platformtest {

inline void EnsureApp() {
    static int argc = 1;
    static char name[] = "platform_tests";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance()) new QApplication(argc, argv);
}

}  // namespace platformtest
