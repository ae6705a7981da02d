#pragma once

#include "xAppWindow.h"

// Hands each window event to the skinned window that owns the native window
// (through the SkinWindowRegistry); events of other windows, and those that
// name no window, keep the listener's neutral answers.
class SkinEventRouter : public xAppWindowListener
{
public:
    void OnHotKey(xNativeWindow* window, int32_t id, intptr_t keyData) override;
    void OnMouseDown(xNativeWindow* window, MouseButton button, float x, float y) override;
    bool OnMouseUp(xNativeWindow* window, MouseButton button, float x, float y) override;
    void OnMouseDoubleClick(xNativeWindow* window, MouseButton button, float x, float y) override;
    bool OnMouseMove(xNativeWindow* window) override;
    void OnResized(xNativeWindow* window, int32_t width, int32_t height, bool minimised) override;
    void OnPaint(xNativeWindow* window) override;
    bool GetSizeLimits(xNativeWindow* window, xWindowSizeLimits& limits) override;
    void OnMoved(xNativeWindow* window, int32_t x, int32_t y) override;
    WindowZone HitTest(xNativeWindow* window, int32_t x, int32_t y) override;
    void OnClose(xNativeWindow* window) override;
    bool OnWindowButton(xNativeWindow* window, WindowButtonAction action) override;
    void OnUnhandledMessage(xNativeWindow* window, uint32_t message, uintptr_t wParam,
                            intptr_t lParam) override;
    // Messages of windows outside the list, such as an embedded page's, give
    // the page's key hook its chance to find the browser's inner window.
    void OnForeignMessage(void* handle, uint32_t message, uintptr_t wParam, intptr_t lParam) override;
};
