// Runs a test executable in a QApplication on the display its target names at build time (VELMORA_TEST_DISPLAY):
// offscreen, so that widget tests need none; a private Xvfb, alone or with openbox managing its windows; or a
// private headless sway, reached through Qt's wayland platform.

#include "tests/support/sway_compositor.h"
#include "tests/support/x_server.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>

namespace {

enum class TestDisplay
{
    Offscreen,
    X11,
    X11WithOpenbox,
    Wayland,
};

constexpr auto testDisplay = TestDisplay::VELMORA_TEST_DISPLAY;

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests needs no display.
    if (::testing::GTEST_FLAG(list_tests)) {
        return RUN_ALL_TESTS();
    }
    std::unique_ptr<XServer> xServer;
    std::unique_ptr<SwayCompositor> compositor;
    switch (testDisplay) {
    case TestDisplay::Offscreen:
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        break;
    case TestDisplay::X11:
    case TestDisplay::X11WithOpenbox:
        xServer = XServer::start(testDisplay == TestDisplay::X11WithOpenbox ? XServer::WindowManager::Openbox
                                                                            : XServer::WindowManager::None);
        if (!xServer) {
            std::cerr << "cannot start Xvfb or its window manager\n";
            return 1;
        }
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        break;
    case TestDisplay::Wayland:
        compositor = SwayCompositor::start();
        if (!compositor) {
            std::cerr << "cannot start sway\n";
            return 1;
        }
        setenv("QT_QPA_PLATFORM", "wayland", 1);
        break;
    }
    QApplication application(argc, argv);
    // As Velmora names itself, which gives its windows their class and app id.
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    const int status = RUN_ALL_TESTS();
    if (status != 0 && compositor) {
        std::cerr << "sway's log:\n" << std::ifstream(compositor->logFile()).rdbuf();
    }
    return status;
}
