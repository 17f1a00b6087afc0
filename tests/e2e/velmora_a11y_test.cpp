// The real velmora executable read by a screen reader: on a desktop of its own (Xvfb, openbox) with a
// session bus of the test's own, at-spi2-core's accessibility bus beside it, and an AT-SPI client in
// Python (a11y_probe.py) that finds the panel's controls and rows and hears the selection move.

#include "tests/e2e/velmora_desktop.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using namespace std::chrono_literals;

class VelmoraAccessibilityTest : public DesktopTest
{
protected:
    /// A session bus of the test's own, as dbus-run-session makes, for this process's children; on it
    /// at-spi2-core's launcher of the accessibility bus, switched on as a desktop does for a screen reader.
    void startAccessibilityBus()
    {
        QProcess& bus = spawn(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address=1"});
        ASSERT_TRUE(waitFor([&] { return bus.canReadLine(); })) << "no session bus";
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus.readLine().trimmed());

        spawn(QStringLiteral(VELMORA_AT_SPI_BUS_LAUNCHER), {"--launch-immediately"});
        const auto dbusSend = [](const QStringList& arguments) {
            return run("dbus-send",
                       QStringList{"--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus"} + arguments)
                       .status == 0;
        };
        ASSERT_TRUE(waitFor([&] { return dbusSend({"org.a11y.Bus.GetAddress"}); }))
            << "the accessibility bus did not start";
        ASSERT_TRUE(dbusSend({"org.freedesktop.DBus.Properties.Set", "string:org.a11y.Status", "string:IsEnabled",
                              "variant:boolean:true"}));
        // Debian's Qt switches its AT-SPI bridge on only when asked to, or when a screen reader runs.
        qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    }
};

TEST_F(VelmoraAccessibilityTest, AScreenReaderFindsTheSearchTheRowsByTheirTextAndTheQuitButton)
{
    startAccessibilityBus();
    startVelmora();
    // Once the hot key works Velmora has finished starting and watches the clipboard.
    openWithHotKey();
    copy("apple pie");
    copy("first line\nsecond line");

    // The probe waits for each thing with a deadline of its own.
    const Finished probe = run(QStringLiteral(VELMORA_SYSTEM_PYTHON),
                               {VELMORA_A11Y_PROBE, "--row", "first line second line", "--row", "apple pie"}, 120s);
    EXPECT_EQ(probe.status, 0) << probe.output.toStdString() << probe.errors.toStdString();
}

} // namespace
