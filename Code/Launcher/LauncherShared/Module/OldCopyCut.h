#pragma once

#include "ChunkPlan.h"
#include "ContentChunker.h"

#include "xEngineFileSystem.h"
#include "xString.h"

// The chunks of an installed file, cut as the publisher cuts (the sizes the
// chunk index names) and named by SHA-256, in one streaming pass of 1 MiB
// reads. False when the file cannot be read whole; `chunks` is then empty. A
// chunk found twice keeps its first place.
bool CutOldCopy(const xEngineFileSystem& files, const xWString& path, const ChunkSizes& sizes,
                OldChunks& chunks);
