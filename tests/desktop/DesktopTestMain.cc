#include <gtest/gtest.h>

#include <QCoreApplication>

// The D-Bus backends deliver signals through Qt's event loop, so the tests
// run with an application object.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
