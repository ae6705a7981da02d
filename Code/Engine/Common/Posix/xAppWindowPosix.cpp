#include "xAppWindow.h"

#include <algorithm>

// No windowing toolkit is wired up natively (the native launcher runs without
// windows): windows are listed but never created, so no event ever arrives.

namespace
{
xAppWindowListener NoListener;
}

xAppWindow::xAppWindow(void* instance) : ModuleInstance(instance)
{
    ReadDisplayInfo(Display);
}

xAppWindow::~xAppWindow() = default;

void xAppWindow::SetListener(xAppWindowListener* listener)
{
    AppListener = listener;
}

xAppWindowListener& xAppWindow::Listener() const
{
    return AppListener != nullptr ? *AppListener : NoListener;
}

xNativeWindow* xAppWindow::CreateNativeWindow(const WindowDescription& description)
{
    Windows.push_back(std::make_unique<xNativeWindow>(*this, description));
    return Windows.back().get();
}

void xAppWindow::DestroyNativeWindow(xNativeWindow* window)
{
    for (auto it = Windows.begin(); it != Windows.end(); ++it)
        if (it->get() == window)
        {
            Windows.erase(it);
            return;
        }
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

void xAppWindow::RemoveNativeWindow(void*) {}

void xAppWindow::SetTaskbarProgressState(xNativeWindow*, int32_t) {}

void xAppWindow::SetTaskbarProgressValue(xNativeWindow*, uint64_t, uint64_t) {}

intptr_t xAppWindow::Default(xNativeWindow*, void*, uint32_t, uintptr_t, intptr_t)
{
    return 0;
}

intptr_t xAppWindow::WindowProcedure(void*, uint32_t, uintptr_t, intptr_t)
{
    return 0;
}

void xAppWindow::PollModifierKeys() {}

void xAppWindow::ProcessInput() {}

void xAppWindow::DispatchInput(const InputRecord&) {}

// No message reaches a window here, so no record either.
void xAppWindow::QueueInput(const InputRecord&) {}

void xAppWindow::AddMessageHook(xMessageHook* hook)
{
    MessageHooks.push_back(hook);
}

void xAppWindow::RemoveMessageHook(xMessageHook* hook)
{
    MessageHooks.erase(std::remove(MessageHooks.begin(), MessageHooks.end(), hook), MessageHooks.end());
}
