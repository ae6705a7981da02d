#include "xMachineAddress.h"

#include "EngineText.h"

#include <gtest/gtest.h>

#include <string>

TEST(xMachineAddress, EachByteBecomesTwoLowerCaseHexDigits)
{
    const uint8_t bytes[] = {0x00, 0xA1, 0xFF, 0x0B, 0x7C, 0x10};
    EXPECT_EQ(Narrow(FormatMachineAddress(bytes, 6)), "00a1ff0b7c10");
    EXPECT_EQ(Narrow(FormatMachineAddress(bytes, 0)), "");
}

TEST(xMachineAddress, FirstAdapterWithAnAddressIsChosen)
{
    EXPECT_EQ(ChooseMachineAddress({{}, {1, 2, 3, 4, 5, 6}, {9, 9, 9, 9, 9, 9}}), 1)
        << "an adapter without a hardware address is skipped";
    EXPECT_EQ(ChooseMachineAddress({{7, 7}, {}}), 0);
    EXPECT_EQ(ChooseMachineAddress({{}, {}}), -1);
    EXPECT_EQ(ChooseMachineAddress({}), -1);
}

TEST(xMachineAddress, MachineAddressIsTheFirstAdaptersAndStaysCached)
{
    std::vector<std::vector<uint8_t>> adapters;
    const bool listed = ListAdapterAddresses(adapters);
    const ptrdiff_t chosen = listed ? ChooseMachineAddress(adapters) : -1;
    const xWString address = GetMachineAddress();
    if (chosen < 0)
    {
        EXPECT_TRUE(address.IsEmpty()) << "no adapter has an address, yet got " << Narrow(address);
        return;
    }
    const std::vector<uint8_t>& expected = adapters[static_cast<size_t>(chosen)];
    EXPECT_EQ(Narrow(address), Narrow(FormatMachineAddress(expected.data(), expected.size())));
    EXPECT_EQ(GetMachineAddressBytes(), expected);
    EXPECT_EQ(Narrow(GetMachineAddress()), Narrow(address));
}
