#include "xMachineAddress.h"

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

bool ListAdapterAddresses(std::vector<std::vector<uint8_t>>& adapterAddresses)
{
    // Room for 16 adapter records; a machine with more gets no address rather
    // than a second, larger query.
    constexpr ULONG BufferSize = 10368;
    std::vector<uint8_t> buffer(BufferSize);
    ULONG size = BufferSize;
    IP_ADAPTER_INFO* first = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data());
    if (GetAdaptersInfo(first, &size) != ERROR_SUCCESS)
        return false;
    for (const IP_ADAPTER_INFO* adapter = first; adapter != nullptr; adapter = adapter->Next)
    {
        UINT length = adapter->AddressLength;
        if (length > MAX_ADAPTER_ADDRESS_LENGTH)
            length = MAX_ADAPTER_ADDRESS_LENGTH;
        adapterAddresses.emplace_back(adapter->Address, adapter->Address + length);
    }
    return true;
}
