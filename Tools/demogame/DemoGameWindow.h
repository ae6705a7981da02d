#pragma once

#include "BackBuffer.h"
#include "FrostScene.h"

#include <windows.h>

#include <string>

// The game's main window: a child of the launcher's game view (another
// process's window) that fills the view's client area and shows the scene.
class DemoGameWindow
{
public:
    DemoGameWindow(HWND view, std::wstring login, bool ignoreClose);
    ~DemoGameWindow();
    DemoGameWindow(const DemoGameWindow&) = delete;
    DemoGameWindow& operator=(const DemoGameWindow&) = delete;

    // Creates the window over the whole view and tells the view about it.
    bool Create(HINSTANCE instance);
    HWND Handle() const { return Window; }

    // One frame: keeps the window the size of the view and draws the scene
    // moved on by `seconds`. False once the view or this window is gone.
    bool Frame(double seconds);

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void Paint();

    HWND View;
    bool IgnoreClose;
    HWND Window = nullptr;
    FrostScene Scene;
    BackBuffer Buffer;
};
