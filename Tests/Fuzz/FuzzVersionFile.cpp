// Any bytes as "ClientVersionSID.txt": the first line, cut the way the download
// cuts it, read for a server id given on a line before it. The version chosen is
// the first entry of that server, else the first "default" entry, else nothing.
#include "FuzzCheck.h"
#include "VersionFile.h"

#include <string>
#include <vector>

namespace
{
// The value of the first piece "key=value" (one "=" only) for `key`; false when none.
bool FirstValue(const std::string& line, const std::string& key, std::string& value)
{
    size_t start = 0;
    for (;;)
    {
        const size_t comma = line.find(',', start);
        const std::string piece =
            line.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        const size_t equals = piece.find('=');
        if (equals != std::string::npos && piece.find('=', equals + 1) == std::string::npos &&
            piece.compare(0, equals, key) == 0 && equals == key.size())
        {
            value = piece.substr(equals + 1);
            return true;
        }
        if (comma == std::string::npos)
            return false;
        start = comma + 1;
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzReader reader(data, size);
    const std::string sid = reader.Until('\n');
    std::string line = reader.Rest();
    // What the download hands over: the text up to its first zero byte and line end.
    line = line.substr(0, line.find('\0'));
    line = line.substr(0, line.find('\n'));
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (sid.find('\0') != std::string::npos)
        return 0;

    const xString chosen =
        ChooseClientVersion(xString(line.data(), line.size()), xString(sid.data(), sid.size()));
    std::string fallback, own;
    if (!FirstValue(line, "default", fallback))
    {
        FUZZ_CHECK(chosen.IsEmpty());
        return 0;
    }
    const bool hasOwn = !sid.empty() && FirstValue(line, sid, own);
    FUZZ_CHECK(Narrow(chosen) == (hasOwn ? own : fallback));
    FUZZ_CHECK(chosen.Length() <= line.size());
    return 0;
}
