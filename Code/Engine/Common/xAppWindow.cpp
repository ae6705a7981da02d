#include "xAppWindow.h"

#include <algorithm>

// What every platform's xAppWindow shares: the listener, the window list and
// the message hooks.

namespace
{
// Answers every question with the listener's neutral default.
xAppWindowListener NoListener;
} // namespace

void xAppWindow::SetListener(xAppWindowListener* listener)
{
    AppListener = listener;
}

xAppWindowListener& xAppWindow::Listener() const
{
    return AppListener != nullptr ? *AppListener : NoListener;
}

xNativeWindow* xAppWindow::FindNativeWindow(void* handle) const
{
    if (handle == nullptr)
        return nullptr;
    for (const std::unique_ptr<xNativeWindow>& window : Windows)
        if (window->Handle() == handle)
            return window.get();
    return nullptr;
}

void xAppWindow::ForgetNativeWindow(xNativeWindow* window)
{
    const auto found =
        std::find_if(Windows.begin(), Windows.end(),
                     [&](const std::unique_ptr<xNativeWindow>& listed) { return listed.get() == window; });
    if (found != Windows.end())
        Windows.erase(found);
}

void xAppWindow::AddMessageHook(xMessageHook* hook)
{
    if (hook != nullptr)
        MessageHooks.push_back(hook);
}

void xAppWindow::RemoveMessageHook(xMessageHook* hook)
{
    MessageHooks.erase(std::remove(MessageHooks.begin(), MessageHooks.end(), hook), MessageHooks.end());
}
