#pragma once

#include "Manifest.h"
#include "PackageCheck.h"

#include "xFile.h"

#include <cstddef>
#include <cstdint>

namespace PackageWorkerInternal
{
// What fills a client file's temporary file: every byte is summed on its way
// to disk, so the file can go in place only when what was written is right.
class CheckedWriter
{
public:
    CheckedWriter(xFile& file, const ManifestEntry& entry) : File(file), Check(ExpectedOf(entry)) {}
    bool Write(const uint8_t* data, size_t length)
    {
        Check.Add(data, length);
        return length == 0 || File.Write(data, static_cast<int64_t>(length));
    }
    bool Matches() { return Check.Matches(); }

private:
    xFile& File;
    ContentCheck Check;
};
} // namespace PackageWorkerInternal
