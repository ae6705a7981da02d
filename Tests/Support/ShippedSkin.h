#pragma once

#include "ResPack.h"
#include "SkinDocument.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

// A member of the pack the build embedded in this program. Unpacking takes a
// moment under the sanitizers: once is enough.
inline std::vector<uint8_t> PackFile(const char16_t* name)
{
    ResPack& pack = TheResPack();
    if (pack.Names().empty())
        pack.Load();
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(pack.GetFile(name, bytes)) << xString(xWString(name)).c_str();
    return bytes;
}

// A shipped skin document, read as the launcher reads it.
inline SkinDocument ShippedDocument(const char16_t* name)
{
    SkinDocument document;
    EXPECT_TRUE(ParseSkinDocument(PackFile(name), u"Default", document)) << xString(xWString(name)).c_str();
    return document;
}
