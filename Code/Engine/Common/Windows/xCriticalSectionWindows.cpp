#include "xCriticalSection.h"

#include <windows.h>

struct xCriticalSection::Native
{
    CRITICAL_SECTION Section;
};

xCriticalSection::xCriticalSection() : State(new Native)
{
    InitializeCriticalSectionAndSpinCount(&State->Section, SpinCount);
}

xCriticalSection::~xCriticalSection()
{
    DeleteCriticalSection(&State->Section);
    delete State;
}

void xCriticalSection::Lock()
{
    // A free section is taken by the try alone; only a held one goes through the
    // spin-then-sleep path of EnterCriticalSection.
    if (!TryEnterCriticalSection(&State->Section))
        EnterCriticalSection(&State->Section);
}

void xCriticalSection::Unlock()
{
    LeaveCriticalSection(&State->Section);
}
