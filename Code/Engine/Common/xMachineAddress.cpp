#include "xMachineAddress.h"

namespace
{
std::vector<uint8_t> AddressBytes;
xWString AddressText;
} // namespace

xWString FormatMachineAddress(const uint8_t* bytes, size_t count)
{
    static const char16_t digits[] = u"0123456789abcdef";
    xWString text;
    text.Reserve(count * 2);
    for (size_t i = 0; i < count; ++i)
    {
        text.Append(digits[bytes[i] >> 4]);
        text.Append(digits[bytes[i] & 0x0F]);
    }
    return text;
}

ptrdiff_t ChooseMachineAddress(const std::vector<std::vector<uint8_t>>& adapterAddresses)
{
    for (size_t i = 0; i < adapterAddresses.size(); ++i)
    {
        if (!adapterAddresses[i].empty())
            return static_cast<ptrdiff_t>(i);
    }
    return -1;
}

xWString GetMachineAddress()
{
    if (!AddressText.IsEmpty())
        return AddressText;
    std::vector<std::vector<uint8_t>> adapters;
    if (!ListAdapterAddresses(adapters))
        return {};
    const ptrdiff_t chosen = ChooseMachineAddress(adapters);
    if (chosen < 0)
        return {};
    AddressBytes = adapters[static_cast<size_t>(chosen)];
    AddressText = FormatMachineAddress(AddressBytes.data(), AddressBytes.size());
    return AddressText;
}

const std::vector<uint8_t>& GetMachineAddressBytes()
{
    return AddressBytes;
}
