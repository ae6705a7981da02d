#include "xAppWindow.h"

// No windowing toolkit is wired up natively (the native launcher runs without
// windows): windows are listed but never created, so no event ever arrives.

xAppWindow::xAppWindow(void* instance) : ModuleInstance(instance)
{
    ReadDisplayInfo(Display);
}

xAppWindow::~xAppWindow() = default;

xNativeWindow* xAppWindow::CreateNativeWindow(const WindowDescription& description)
{
    Windows.push_back(std::make_unique<xNativeWindow>(*this, description));
    return Windows.back().get();
}

void xAppWindow::DestroyNativeWindow(xNativeWindow* window)
{
    ForgetNativeWindow(window);
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
