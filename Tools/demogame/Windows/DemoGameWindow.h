#pragma once

#include "BackBuffer.h"
#include "FrostScene.h"
#include "SceneCanvasGdi.h"
#include "WindowMode.h"

#include <windows.h>

#include <string>

// The game's main window, over the whole of the launcher's game view (another
// process's window), showing the scene: the view's child, or in Overlay mode a
// popup of its own that follows the view's place on the screen and its visibility.
class DemoGameWindow
{
public:
    DemoGameWindow(HWND view, WindowMode mode, std::wstring login, bool ignoreClose);
    ~DemoGameWindow();
    DemoGameWindow(const DemoGameWindow&) = delete;
    DemoGameWindow& operator=(const DemoGameWindow&) = delete;

    // Creates the window over the whole view and tells the view about it.
    bool Create(HINSTANCE instance);
    HWND Handle() const { return Window; }
    // Overlay: whether the view's top-level window owns it (else it is kept topmost).
    bool IsOwned() const { return Owned; }

    // One frame: keeps the window over the view and draws the scene moved on
    // by `seconds`. False once the view or this window is gone.
    bool Frame(double seconds);

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    bool CreateOverlay(HINSTANCE instance);
    void FollowView();
    bool ViewShows() const;
    void Paint();

    HWND View;
    WindowMode Mode;
    bool Owned = false; // Overlay: owned by the view's top-level window, so stacked above it
    bool IgnoreClose;
    HWND Window = nullptr;
    FrostScene Scene;
    BackBuffer Buffer;
    SceneCanvasGdi Canvas;
};
