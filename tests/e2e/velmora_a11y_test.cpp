// The real velmora executable read by a screen reader: on a desktop of its own (Xvfb, openbox) with a
// session bus of the test's own, at-spi2-core's accessibility bus beside it, and an AT-SPI client in
// Python (a11y_probe.py) that finds the panel's controls and rows and hears the selection move.

#include "tests/x11/x11_test_helpers.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <vector>

namespace {

using namespace std::chrono_literals;

bool isPanelShown()
{
    // Without a tray the panel is Velmora's only window that can be viewable.
    return run(QStringLiteral("xdotool"), {"search", "--onlyvisible", "--class", "^Velmora$"}).has_value();
}

class VelmoraAccessibilityTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        // Velmora first, the buses it talks to last.
        for (auto process = m_processes.rbegin(); process != m_processes.rend(); ++process) {
            (*process)->terminate();
            (*process)->waitForFinished(2000);
        }
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    }

    QProcess& spawn(const QString& program, const QStringList& arguments,
                    QProcess::ProcessChannelMode channels = QProcess::ForwardedErrorChannel,
                    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
    {
        QProcess& process = *m_processes.emplace_back(std::make_unique<QProcess>());
        process.setProcessChannelMode(channels);
        process.setProcessEnvironment(environment);
        process.start(program, arguments);
        return process;
    }

    /// A session bus of the test's own, as dbus-run-session makes, for this process's children; on it
    /// at-spi2-core's launcher of the accessibility bus, switched on as a desktop does for a screen reader.
    void startAccessibilityBus()
    {
        QProcess& bus = spawn(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address=1"});
        ASSERT_TRUE(waitFor([&] { return bus.canReadLine(); }, 10s)) << "no session bus";
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus.readLine().trimmed());

        spawn(QStringLiteral(VELMORA_AT_SPI_BUS_LAUNCHER), {"--launch-immediately"});
        const auto dbusSend = [](const QStringList& arguments) {
            return run(QStringLiteral("dbus-send"),
                       QStringList{"--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus"} + arguments);
        };
        ASSERT_TRUE(waitFor([&] { return dbusSend({"org.a11y.Bus.GetAddress"}).has_value(); }, 10s))
            << "the accessibility bus did not start";
        ASSERT_TRUE(dbusSend({"org.freedesktop.DBus.Properties.Set", "string:org.a11y.Status", "string:IsEnabled",
                              "variant:boolean:true"}));
    }

    void startVelmora()
    {
        auto environment = QProcessEnvironment::systemEnvironment();
        // Debian's Qt switches its AT-SPI bridge on only when asked to, or when a screen reader runs.
        environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        ASSERT_TRUE(spawn(QStringLiteral(VELMORA_EXECUTABLE), {}, QProcess::ForwardedErrorChannel, environment)
                        .waitForStarted(5000));
    }

    /// Copies in another application and waits until Velmora has read the copy: xclip numbers the
    /// requests it serves, and waits for the second once the first, Velmora's, is done.
    void copy(const QByteArray& data)
    {
        QProcess& xclip =
            spawn(QStringLiteral("xclip"), {"-verbose", "-selection", "clipboard", "-i"}, QProcess::MergedChannels);
        xclip.write(data);
        xclip.closeWriteChannel();
        QByteArray output;
        ASSERT_TRUE(waitFor([&] {
            output += xclip.readAll();
            return output.contains("request number 2");
        })) << output.toStdString();
    }

    /// Presses the hot key until the panel shows: the first presses may come before the grab.
    void openWithHotKey()
    {
        for (int attempt = 0; attempt < 10 && !isPanelShown(); ++attempt) {
            ASSERT_TRUE(run(QStringLiteral("xdotool"), {"key", "super+shift+c"}).has_value());
            static_cast<void>(waitFor(isPanelShown, 1s));
        }
        ASSERT_TRUE(isPanelShown());
    }

    std::vector<std::unique_ptr<QProcess>> m_processes;
};

TEST_F(VelmoraAccessibilityTest, AScreenReaderFindsTheSearchTheRowsByTheirTextAndTheQuitButton)
{
    startAccessibilityBus();
    startVelmora();
    // Once the hot key works Velmora has finished starting and watches the clipboard.
    openWithHotKey();
    copy("apple pie");
    copy("first line\nsecond line");

    QProcess& probe =
        spawn(QStringLiteral(VELMORA_SYSTEM_PYTHON),
              {VELMORA_A11Y_PROBE, "--row", "first line second line", "--row", "apple pie"}, QProcess::MergedChannels);
    // The probe waits for each thing with a deadline of its own.
    ASSERT_TRUE(probe.waitForFinished(120000)) << "the probe did not end";
    const auto output = probe.readAll().toStdString();
    EXPECT_EQ(probe.exitStatus(), QProcess::NormalExit) << output;
    EXPECT_EQ(probe.exitCode(), 0) << output;
}

} // namespace
