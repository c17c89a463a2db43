#include "platform/Folders.h"

#include <gtest/gtest.h>

TEST(Folders, FollowXdgVariables) {
    EXPECT_EQ(platform::commonAppDataFolder(), std::string(std::getenv("XDG_DATA_HOME")));
}
