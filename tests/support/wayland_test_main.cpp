// Runs Wayland tests against a private headless sway, with the application connected to it through Qt's
// wayland platform.

#include "tests/support/sway_compositor.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests needs no compositor.
    if (::testing::GTEST_FLAG(list_tests)) {
        return RUN_ALL_TESTS();
    }
    const auto compositor = SwayCompositor::start();
    if (!compositor) {
        std::fprintf(stderr, "cannot start sway\n");
        return 1;
    }
    setenv("QT_QPA_PLATFORM", "wayland", 1);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    const int status = RUN_ALL_TESTS();
    if (status != 0) {
        std::cerr << "sway's log:\n" << std::ifstream(compositor->logFile()).rdbuf();
    }
    return status;
}
