// Helpers of the window tests: Qt strings from UTF-8 and standard strings, the test program's
// QApplication, and a push button found by its caption.
#pragma once

#include <QApplication>
#include <QPushButton>
#include <string>

#include <gtest/gtest.h>

namespace widgettest {

inline QString U(const char* utf8) { return QString::fromUtf8(utf8); }
inline QString Q(const std::string& s) { return QString::fromStdString(s); }

// Makes the program's QApplication named `name` (offscreen: the shared test main sets that)
// unless there is one already; whether it made it.
inline bool EnsureApp(const char* name) {
    if (QApplication::instance()) return false;
    static std::string program = name;
    static char* argv[] = {program.data(), nullptr};
    static int argc = 1;
    new QApplication(argc, argv);
    return true;
}

// The push button of `window` captioned `text`; a test failure and nullptr when there is none.
inline QPushButton* Button(QWidget* window, const char* text) {
    for (QPushButton* b : window->findChildren<QPushButton*>())
        if (b->text() == U(text)) return b;
    ADD_FAILURE() << "no button " << text;
    return nullptr;
}

}  // namespace widgettest
