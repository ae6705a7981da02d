#include "xString.h"
#include "xTextConversion.h"
#include "xStringOps.h"

#include <gtest/gtest.h>

TEST(xString, EmptyStringsShareOneTerminator)
{
    xString a;
    xWString b;
    EXPECT_EQ(a.c_str(), xString::SharedEmpty());
    EXPECT_FALSE(a.OwnsStorage());
    EXPECT_EQ(0u, a.Length());
    EXPECT_EQ(b.c_str()[0], 0);
}
