// The real velmora executable started where there is no display, as from a text console or over SSH.

#include "tests/e2e/velmora_desktop.h"

TEST(NoDisplayTest, SaysSoInOneLineAndEndsWithStatusOne)
{
    // As from a text console or over SSH: env starts Velmora without either variable.
    const auto finished = run(QStringLiteral("env"),
                              {"-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM", VELMORA_EXECUTABLE},
                              std::chrono::seconds(60));
    EXPECT_EQ(finished.status, 1);
    const auto said = QString::fromLocal8Bit(finished.errors).trimmed();
    EXPECT_TRUE(said.contains(QLatin1String("no display")) && !said.contains(QLatin1Char('\n'))) << said.toStdString();
}
