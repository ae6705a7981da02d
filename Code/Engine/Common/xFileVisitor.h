#pragma once

#include "xFileInfo.h"
#include "xString.h"

// Called for each entry of a folder listing with the entry's full path ("/"
// separators). Returning false stops the listing.
class xFileVisitor
{
public:
    virtual ~xFileVisitor() = default;
    virtual bool Visit(const xWString& path, bool isDirectory) = 0;
};

// The same, with what the listing knows about the entry.
class xFileInfoVisitor
{
public:
    virtual ~xFileInfoVisitor() = default;
    virtual bool Visit(const xWString& path, const xFileInfo& info) = 0;
};
