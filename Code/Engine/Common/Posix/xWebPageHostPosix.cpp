#include "xWebPageHost.h"

// The native build has no windows to lay a page over.
std::unique_ptr<xWebPageHost> CreateWebPageHost(xNativeWindow&, const xWindowRect&, xWebPageHost::ScriptCall)
{
    return nullptr;
}

void InstallWebPageKeyHook() {}
