#include "xWebPageHost.h"

bool PageLoadedAfter(bool loaded, PageLoadEvent event, bool topLevel)
{
    if (!topLevel)
        return loaded;
    return event == PageLoadEvent::DocumentComplete;
}
