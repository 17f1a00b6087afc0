#include "app/floating_panel.h"

#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {

std::string capture(const std::string& command)
{
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (fgets(buffer, sizeof buffer, pipe)) {
            output += buffer;
        }
        pclose(pipe);
    }
    return output;
}

std::string property(const QWidget& window, const std::string& name)
{
    return capture("xprop -id " + std::to_string(window.winId()) + " " + name + " 2>/dev/null");
}

/// Another application's window, which takes the focus when it maps.
class OtherApplication
{
public:
    OtherApplication()
    {
        const char* argv[] = {"xmessage", "-name", "other", "other application", nullptr};
        if (posix_spawnp(&m_pid, "xmessage", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
            m_pid = 0;
        }
    }
    OtherApplication(const OtherApplication&) = delete;
    OtherApplication& operator=(const OtherApplication&) = delete;
    ~OtherApplication()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }

    [[nodiscard]] bool started() const { return m_pid > 0; }

private:
    pid_t m_pid = 0;
};

class FloatingPanelTest : public ::testing::Test
{
protected:
    FloatingPanelTest()
    {
        auto content = std::make_unique<QLabel>(QStringLiteral("history"));
        content->setFixedSize(320, 420);
        panel.setContentView(std::move(content));
    }

    void showAndWaitForFocus()
    {
        panel.makeKeyAndOrderFront();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&panel, 5000));
    }

    FloatingPanel panel{platform::Rect{{0, 0}, {320, 420}}};
};

TEST_F(FloatingPanelTest, IsCreatedHiddenAsAFramelessToolWindowThatScriptsCanFind)
{
    EXPECT_FALSE(panel.isVisible());
    EXPECT_NE(panel.winId(), 0U);
    EXPECT_EQ(panel.frame().size.width, 320);
    EXPECT_EQ(panel.frame().size.height, 420);
    EXPECT_NE(property(panel, "WM_NAME").find("\"Velmora\""), std::string::npos);
    EXPECT_NE(property(panel, "WM_CLASS").find("\"velmora\""), std::string::npos);
    EXPECT_NE(property(panel, "_NET_WM_WINDOW_TYPE").find("_NET_WM_WINDOW_TYPE_UTILITY"), std::string::npos);
}

TEST_F(FloatingPanelTest, ShowsOnEveryDesktopAboveOtherWindowsWithTheFocusWhereItWasPut)
{
    panel.setFrameOrigin({560, 170});
    showAndWaitForFocus();

    EXPECT_TRUE(panel.isVisible());
    EXPECT_EQ(panel.geometry(), QRect(560, 310, 320, 420));
    EXPECT_EQ(panel.frame().origin.x, 560);
    EXPECT_EQ(panel.frame().origin.y, 170);
    EXPECT_NE(property(panel, "_NET_WM_DESKTOP").find("4294967295"), std::string::npos);
    EXPECT_NE(property(panel, "_NET_WM_STATE").find("_NET_WM_STATE_ABOVE"), std::string::npos);
}

TEST_F(FloatingPanelTest, StaysOnEveryDesktopWhenShownAgain)
{
    showAndWaitForFocus();
    panel.orderOut();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !panel.windowHandle()->isExposed(); }, 5000));
    showAndWaitForFocus();
    EXPECT_NE(property(panel, "_NET_WM_DESKTOP").find("4294967295"), std::string::npos);
}

TEST_F(FloatingPanelTest, IsCutToTheRoundedCardWithoutACompositor)
{
    showAndWaitForFocus();
    const QRegion mask = panel.mask();
    ASSERT_FALSE(mask.isEmpty());
    EXPECT_FALSE(mask.contains(QPoint(0, 0)));
    EXPECT_FALSE(mask.contains(QPoint(319, 419)));
    EXPECT_TRUE(mask.contains(QPoint(160, 0)));
    EXPECT_TRUE(mask.contains(QPoint(0, 210)));
    EXPECT_TRUE(mask.contains(QPoint(160, 210)));
}

TEST_F(FloatingPanelTest, HidesWhenAnotherApplicationTakesTheFocus)
{
    showAndWaitForFocus();
    OtherApplication other;
    ASSERT_TRUE(other.started());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !panel.isVisible(); }, 5000));
}

} // namespace
