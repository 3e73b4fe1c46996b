#pragma once

#include <cstdlib>

#include <QApplication>

namespace interface_test {

inline bool hasDisplay() { return std::getenv("DISPLAY") && *std::getenv("DISPLAY"); }

// One application on the X server of the tests per test process.
inline QApplication& xcbApplication() {
    static int argc = 1;
    static char name[] = "parlox-x11-tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        return new QApplication(argc, argv);
    }();
    return *app;
}

}  // namespace interface_test
