#include "platform/desktop_application.h"

#include <gtest/gtest.h>

TEST(DesktopApplicationTest, TheCurrentEventIsTheOneOfTheInnermostScope)
{
    platform::DesktopApplication application;
    EXPECT_FALSE(application.currentEvent());
    {
        const platform::DesktopApplication::CurrentEventScope click(application, {platform::EventType::RightMouseUp});
        {
            const platform::DesktopApplication::CurrentEventScope inner(application, {platform::EventType::Other});
            EXPECT_EQ(application.currentEvent()->type, platform::EventType::Other);
        }
        ASSERT_TRUE(application.currentEvent());
        EXPECT_EQ(application.currentEvent()->type, platform::EventType::RightMouseUp);
    }
    EXPECT_FALSE(application.currentEvent());
}
