#include "SkinEventRouter.h"

#include "SkinWindow.h"
#include "SkinWindowRegistry.h"

#include "xWebPageHost.h"

namespace
{
SkinWindow* SkinOf(const xNativeWindow* window)
{
    return TheSkinWindowRegistry().Find(window);
}
} // namespace

void SkinEventRouter::OnHotKey(xNativeWindow* window, int32_t id, intptr_t keyData)
{
    if (SkinWindow* skin = SkinOf(window))
        skin->OnHotKey(id, keyData);
}

void SkinEventRouter::OnMouseDown(xNativeWindow* window, MouseButton button, float x, float y)
{
    if (SkinWindow* skin = SkinOf(window))
        skin->OnMousePressed(button, x, y);
}

bool SkinEventRouter::OnMouseUp(xNativeWindow* window, MouseButton button, float x, float y)
{
    SkinWindow* skin = SkinOf(window);
    return skin != nullptr && skin->OnMouseReleased(button, x, y);
}

void SkinEventRouter::OnMouseDoubleClick(xNativeWindow* window, MouseButton button, float x, float y)
{
    if (SkinWindow* skin = SkinOf(window))
        skin->OnMouseDoubleClick(button, x, y);
}

bool SkinEventRouter::OnMouseMove(xNativeWindow* window)
{
    SkinWindow* skin = SkinOf(window);
    return skin != nullptr && skin->OnMouseMoved();
}

void SkinEventRouter::OnResized(xNativeWindow* window, int32_t width, int32_t height, bool minimised)
{
    if (SkinWindow* skin = SkinOf(window))
        skin->OnResized(width, height, minimised);
}

void SkinEventRouter::OnPaint(xNativeWindow* window)
{
    if (SkinWindow* skin = SkinOf(window))
        skin->OnPaint();
}

bool SkinEventRouter::GetSizeLimits(xNativeWindow* window, xWindowSizeLimits& limits)
{
    SkinWindow* skin = SkinOf(window);
    return skin != nullptr && skin->GetSizeLimits(limits);
}

void SkinEventRouter::OnMoved(xNativeWindow* window, int32_t x, int32_t y)
{
    if (SkinWindow* skin = SkinOf(window))
        skin->OnMoved(x, y);
}

WindowZone SkinEventRouter::HitTest(xNativeWindow* window, int32_t x, int32_t y)
{
    if (SkinWindow* skin = SkinOf(window))
        return skin->HitTest(x, y);
    return xAppWindowListener::HitTest(window, x, y);
}

void SkinEventRouter::OnClose(xNativeWindow* window)
{
    if (SkinWindow* skin = SkinOf(window))
        skin->OnClose();
}

bool SkinEventRouter::OnWindowButton(xNativeWindow* window, WindowButtonAction action)
{
    if (SkinWindow* skin = SkinOf(window))
        return skin->OnWindowButton(action);
    return xAppWindowListener::OnWindowButton(window, action);
}

void SkinEventRouter::OnUnhandledMessage(xNativeWindow* window, uint32_t message, uintptr_t wParam,
                                         intptr_t lParam)
{
    if (SkinWindow* skin = SkinOf(window))
        skin->OnUnhandledMessage(message, wParam, lParam);
}

void SkinEventRouter::OnForeignMessage(void* handle, uint32_t, uintptr_t, intptr_t)
{
    if (TheSkinWindowRegistry().FindByHandle(handle) == nullptr)
        InstallWebPageKeyHook();
}
