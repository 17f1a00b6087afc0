// Runs X11 tests against a private Xvfb server (with openbox when the target asks for a
// window manager), with the application connected to it through Qt's xcb platform.

#include "tests/support/x_server.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests needs no X server.
    if (::testing::GTEST_FLAG(list_tests)) {
        return RUN_ALL_TESTS();
    }
#ifdef VELMORA_TEST_WITH_OPENBOX
    const auto server = XServer::start(XServer::WindowManager::Openbox);
#else
    const auto server = XServer::start(XServer::WindowManager::None);
#endif
    if (!server) {
        std::fprintf(stderr, "cannot start Xvfb or its window manager\n");
        return 1;
    }
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    QApplication application(argc, argv);
    // As Velmora names itself, which gives its windows their class.
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    return RUN_ALL_TESTS();
}
