// The real velmora executable read by a screen reader: on a desktop of its own (Xvfb, openbox) with a
// session bus of the test's own, at-spi2-core's accessibility bus beside it, and an AT-SPI client in
// Python (a11y_probe.py) that finds the panel's controls and rows and hears the selection move.

#include "tests/e2e/velmora_desktop.h"

using namespace std::chrono_literals;

TEST_F(DesktopTest, AScreenReaderFindsThePanelsControlsAndRows)
{
    // A session bus of the test's own and on it the accessibility bus, switched on as a desktop does it
    // for a screen reader.
    QProcess& bus = spawn("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    ASSERT_TRUE(waitFor([&] { return bus.canReadLine(); })) << "no session bus";
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus.readLine().trimmed());
    spawn(VELMORA_AT_SPI_BUS_LAUNCHER, {"--launch-immediately"});
    const QStringList setProperty = QString("--session --print-reply --dest=org.a11y.Bus /org/a11y/bus "
                                            "org.freedesktop.DBus.Properties.Set string:org.a11y.Status "
                                            "string:IsEnabled variant:boolean:true")
                                        .split(' ');
    ASSERT_TRUE(waitFor([&] { return run("dbus-send", setProperty).status == 0; }, 30s)) << "no accessibility bus";
    // Debian's Qt switches its AT-SPI bridge on only when asked to, or when a screen reader runs.
    qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    startVelmora();
    // Once the hot key works Velmora has finished starting and watches the clipboard.
    openWithHotKey();
    copy("apple pie");
    copy("first line\nsecond line");
    // The probe waits for each thing with a deadline of its own.
    const Finished probe =
        run(VELMORA_SYSTEM_PYTHON, {VELMORA_A11Y_PROBE, "--row", "first line second line", "--row", "apple pie"}, 120s);
    EXPECT_EQ(probe.status, 0) << probe.output.toStdString() << probe.errors.toStdString();
}
