#pragma once

#include "xString.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The machine's network hardware address as text: the first adapter that has
// one, each byte as two lower-case hex digits without separators (six bytes
// give twelve characters). Computed once by the platform start-up and cached;
// empty when no adapter has an address (an empty cache is computed again).
xWString GetMachineAddress();

// The address bytes behind GetMachineAddress; empty until it has found one.
const std::vector<uint8_t>& GetMachineAddressBytes();

// Each byte as "%02x", concatenated.
xWString FormatMachineAddress(const uint8_t* bytes, size_t count);

// The index of the first adapter whose address is not empty, -1 when none is.
ptrdiff_t ChooseMachineAddress(const std::vector<std::vector<uint8_t>>& adapterAddresses);

// The hardware addresses of the machine's adapters in the system's order, one
// entry per adapter (empty for an adapter without one). False when the system
// cannot list them. One implementation per platform.
bool ListAdapterAddresses(std::vector<std::vector<uint8_t>>& adapterAddresses);
