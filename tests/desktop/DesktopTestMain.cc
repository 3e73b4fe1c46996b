#include <gtest/gtest.h>

#include <QCoreApplication>

#include "app/App/QtApplication.hpp"

// The D-Bus backends deliver signals through Qt's event loop, so the tests
// run with an application object, on the loop the application uses.
int main(int argc, char** argv) {
    const auto app = Parlox::makeApplicationWithoutGlibLoop<QCoreApplication>(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
