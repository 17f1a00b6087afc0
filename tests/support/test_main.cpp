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
    const bool isX11 = testDisplay == TestDisplay::X11 || testDisplay == TestDisplay::X11WithOpenbox;
    const auto xServer =
        isX11 ? XServer::start(testDisplay == TestDisplay::X11WithOpenbox ? XServer::WindowManager::Openbox
                                                                          : XServer::WindowManager::None)
              : nullptr;
    const auto compositor = testDisplay == TestDisplay::Wayland ? SwayCompositor::start() : nullptr;
    if (testDisplay != TestDisplay::Offscreen && !xServer && !compositor) {
        std::cerr << "cannot start the test's display server (Xvfb and its window manager, or sway)\n";
        return 1;
    }
    // Qt's platform for each TestDisplay, in its order.
    const char* const platforms[] = {"offscreen", "xcb", "xcb", "wayland"};
    setenv("QT_QPA_PLATFORM", platforms[static_cast<int>(testDisplay)], 1);
    QApplication application(argc, argv);
    // As Velmora names itself, which gives its windows their class and app id.
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    const int status = RUN_ALL_TESTS();
    if (status != 0 && compositor) {
        std::cerr << "sway's log:\n" << std::ifstream(compositor->logFile()).rdbuf();
    }
    return status;
}
