#include <gtest/gtest.h>

#include "platform/text.h"

TEST(TextTest, FormatSizeBoundaries) {
    char buf[32];
    EXPECT_STREQ("1024Byte", FormatSize(1024, buf, sizeof(buf)));
    EXPECT_STREQ("1.00KB", FormatSize(1025, buf, sizeof(buf)));
    EXPECT_STREQ("1024.00KB", FormatSize(1048576, buf, sizeof(buf)));
    EXPECT_STREQ("1.00MB", FormatSize(1048577, buf, sizeof(buf)));
}
