// Any bytes as a verified-state record. A refused record leaves nothing
// behind; an accepted one is exactly what the writer writes for what was read.
#include "FuzzCheck.h"
#include "VerifiedState.h"

#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    VerifiedState state;
    state.Files.resize(1);
    std::string error;
    if (!ParseVerifiedState(data, size, state, error))
    {
        FUZZ_CHECK(!error.empty() && state.Files.empty() && state.Version.empty());
        return 0;
    }
    FUZZ_CHECK(WriteVerifiedState(state) == std::vector<uint8_t>(data, data + size));
    return 0;
}
