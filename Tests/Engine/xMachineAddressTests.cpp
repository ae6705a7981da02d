#include "xMachineAddress.h"

#include "EngineText.h"

#include <gtest/gtest.h>

#include <string>

TEST(xMachineAddress, EachByteBecomesTwoLowerCaseHexDigitsAndTheFirstAdapterWithAnAddressCounts)
{
    const uint8_t bytes[] = {0x00, 0xA1, 0xFF, 0x0B, 0x7C, 0x10};
    EXPECT_EQ(FormatMachineAddress(bytes, 6), u"00a1ff0b7c10");
    EXPECT_EQ(FormatMachineAddress(bytes, 0), u"");

    // The first adapter with an address is chosen.
    EXPECT_EQ(ChooseMachineAddress({{}, {1, 2, 3, 4, 5, 6}, {9, 9, 9, 9, 9, 9}}), 1)
        << "an adapter without a hardware address is skipped";
    EXPECT_EQ(ChooseMachineAddress({{7, 7}, {}}), 0);
    EXPECT_EQ(ChooseMachineAddress({{}, {}}), -1);
    EXPECT_EQ(ChooseMachineAddress({}), -1);
}

TEST(xMachineAddress, ThisMachinesAddressIsItsBytesInHexAndStaysCached)
{
    // Empty only when no adapter has an address; then there are no bytes either.
    const xWString address = GetMachineAddress();
    const std::vector<uint8_t>& bytes = GetMachineAddressBytes();
    EXPECT_EQ(address, FormatMachineAddress(bytes.data(), bytes.size()));
    const std::string text = Narrow(address);
    EXPECT_TRUE(text.empty() || text.size() == 12u) << text;
    EXPECT_EQ(std::string::npos, text.find_first_not_of("0123456789abcdef")) << text;
    EXPECT_EQ(GetMachineAddress(), address);
}
