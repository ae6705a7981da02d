#include "xDisplayInfo.h"

// Without a windowing system there are no screens to ask: the screen, work area and
// monitors belong to the toolkit the Linux windows are built with, which fills this
// record from its output information once it exists. Until then the record stays
// empty rather than guessed.
void ReadDisplayInfo(xDisplayInfo& info)
{
    info.Reset();
}
