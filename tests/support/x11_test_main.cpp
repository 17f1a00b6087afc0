// Runs X11 tests against a private Xvfb server (with openbox when the target asks for a
// window manager), with the application connected to it through Qt's xcb platform.

#include "tests/support/x_server.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

bool onlyListsTests(int argc, char** argv)
{
    for (int index = 1; index < argc; ++index) {
        if (std::string_view(argv[index]) == "--gtest_list_tests") {
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    // Before InitGoogleTest, which takes its flags out of argv.
    const bool listing = onlyListsTests(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    if (listing) {
        return RUN_ALL_TESTS();
    }

#ifdef VELMORA_TEST_WITH_OPENBOX
    constexpr auto windowManager = XServer::WindowManager::Openbox;
#else
    constexpr auto windowManager = XServer::WindowManager::None;
#endif
    const auto server = XServer::start(windowManager);
    if (!server) {
        std::fprintf(stderr, "cannot start Xvfb%s\n",
                     windowManager == XServer::WindowManager::Openbox ? " with openbox" : "");
        return 1;
    }
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    int status = 0;
    {
        QApplication application(argc, argv);
        // As Velmora names itself, which gives its windows their class.
        QApplication::setApplicationName(QStringLiteral("Velmora"));
        status = RUN_ALL_TESTS();
    }
    return status;
}
