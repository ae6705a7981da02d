#pragma once

#include "xString.h"
#include "xWindowRules.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class xNativeWindow;

// A web page laid over part of a top-level window, whose script can call the
// launcher through `window.external.Invoke_Client`. The page lives in its own
// popup owned by the window, so it follows the window only through PlaceAt.
// Main thread only.
class xWebPageHost
{
public:
    // The texts of one script call, in the platform's argument order: the
    // last argument the script wrote comes first.
    using ScriptCall = std::function<void(const std::vector<xWString>& arguments)>;

    virtual ~xWebPageHost() = default;

    // False when the page cannot be navigated (no browser behind it).
    virtual bool Navigate(const xWString& address) = 0;
    virtual void Show() = 0;
    virtual void Hide() = 0;
    // The owner's outer top-left corner is now at (left, top) on screen.
    virtual void PlaceAt(int32_t left, int32_t top) = 0;
};

// The browser's events that decide whether the page has a document to show.
enum class PageLoadEvent
{
    DocumentComplete,
    NavigateError,
};
// Whether a document is there to show after `event`. Only the top-level
// document's events count: a frame's (an advertisement that failed to load)
// leaves `loaded` as it was.
bool PageLoadedAfter(bool loaded, PageLoadEvent event, bool topLevel);

// A page at `page` (the owner's client coordinates), shown at once; null where
// the platform has no pages or the owner has no handle. `onScriptCall` runs for
// every call with at least one argument that has a text form.
std::unique_ptr<xWebPageHost> CreateWebPageHost(xNativeWindow& owner, const xWindowRect& page,
                                                xWebPageHost::ScriptCall onScriptCall);

// Lets keys reach the page's own controls (Backspace edits, Tab moves between
// fields). The browser makes its inner window some time after navigation, so
// this is called on messages of windows outside the application's list until
// it finds that window; then it does nothing.
void InstallWebPageKeyHook();
