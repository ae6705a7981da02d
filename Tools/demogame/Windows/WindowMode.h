#pragma once

#include <windows.h>

#include <string>

// How the game's main window sits in the launcher's view.
//   Child:   a child window of the view, as the launcher expects on Windows.
//   Overlay: a borderless popup of the game's own, kept over the view's screen
//            rectangle. Wine 8 draws nothing of a child whose parent belongs to
//            another process, so under Wine the game shows itself this way.
enum class WindowMode
{
    Child,
    Overlay
};

// RWGAME_WINDOW_MODE forces a mode ("child" or "overlay"); unset or "auto"
// picks Overlay under Wine when the view is another process's, else Child.
constexpr const wchar_t* WindowModeVariable = L"RWGAME_WINDOW_MODE";

// The mode for `view`; false (with `reason`) when the variable holds another word.
// `why` says in a few words how the mode was chosen, for the start line.
bool ChooseWindowMode(HWND view, WindowMode& mode, std::wstring& why, std::wstring& reason);

// The Wine version when running under Wine (ntdll exports wine_get_version), else empty.
std::wstring WineVersion();
