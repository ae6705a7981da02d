#include "xHardwareDetection.h"

#include "Windows/xWindowsVersion.h"

#include <gtest/gtest.h>

TEST(xHardwareNaming, WindowsQueriesAnswerForThisSystem)
{
    uint32_t major = 0, minor = 0;
    ASSERT_TRUE(QueryKernelVersion(major, minor));
    EXPECT_TRUE(IsWindowsVersionOrGreater(major, minor));
    EXPECT_FALSE(IsWindowsVersionOrGreater(major + 1, 0));
    EXPECT_TRUE(Is64BitWindows()) << "a 64-bit test program runs on 64-bit Windows only";
    EXPECT_FALSE(IsServerSystem());
}
