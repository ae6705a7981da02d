#include "SkinWindow.h"

#include "ResPack.h"
#include "SkinLayout.h"
#include "SkinPainter.h"
#include "SkinWindowRegistry.h"

#include "xLogLine.h"
#include "xWebPageHost.h"

#include <utility>

namespace
{
// Seconds since the last hover poll, shared by every skinned window: the poll
// keeps the faces right when the pointer leaves a window without a move event,
// and runs only until it finds the pointer outside (a move brings it back).
float HoverPollSeconds = 0.0f;
constexpr float HoverPollInterval = 0.1f;

// The smallest size a skinned window may be dragged to.
constexpr int32_t SkinMinWidth = 800;
constexpr int32_t SkinMinHeight = 600;
} // namespace

SkinWindow::SkinWindow(xAppWindow& app, xWString defaultTitle)
    : App(app), DefaultTitle(std::move(defaultTitle))
{
}

SkinWindow::~SkinWindow()
{
    TheSkinWindowRegistry().Remove(this);
    // Before the window that owns their popups.
    Pages.clear();
    if (Native != nullptr)
        App.DestroyNativeWindow(Native);
}

void SkinWindow::Load(const xWString& name)
{
    xWString member = name;
    member += u".xml";
    std::vector<uint8_t> text;
    if (!TheResPack().GetFile(member, text))
    {
        LogLine("Skin document missing: %s", xString(member).c_str());
        return;
    }
    SkinDocument document;
    if (!ParseSkinDocument(text, DefaultTitle, document))
        return;
    LoadSkinPictures(document);
    Document = std::move(document);

    Native = App.CreateNativeWindow(Document.Window);
    if (Native->Handle() == nullptr)
        LogLine("Could not create the window of skin %s", xString(name).c_str());
    TheSkinWindowRegistry().Add(Native, this);

    for (const SkinRect& page : Document.Pages)
    {
        std::unique_ptr<xWebPageHost> host =
            CreateWebPageHost(*Native, {page.Left, page.Top, page.Right, page.Bottom},
                              [this](const std::vector<xWString>& arguments) { OnInvokeClient(arguments); });
        if (host != nullptr)
            Pages.push_back(std::move(host));
    }
}

SkinButton* SkinWindow::FindButton(const xString& id)
{
    for (SkinButton& button : Document.Buttons)
        if (button.Id == id)
            return &button;
    return nullptr;
}

bool SkinWindow::GetContentRect(xWindowRect&)
{
    return false;
}

bool SkinWindow::OnHotKey(int32_t, intptr_t)
{
    return false;
}

bool SkinWindow::OnMousePressed(MouseButton button, float, float)
{
    if (button == MouseButton::Left)
        PrimaryPressed = true;
    if (button == MouseButton::Right)
        SecondaryPressed = true;
    if (Native != nullptr)
    {
        Native->CaptureMouse();
        UpdateButtonStates();
    }
    return true;
}

bool SkinWindow::OnMouseReleased(MouseButton button, float, float)
{
    if (button == MouseButton::Left)
        PrimaryPressed = false;
    if (button == MouseButton::Right)
        SecondaryPressed = false;
    if (Native == nullptr)
        return false;
    Native->ReleaseMouse();
    UpdateButtonStates();

    // Where the pointer is now, not where the event says: the release may
    // come from the capture, outside the window.
    const xWindowPoint pointer = PointerInWindow();
    for (size_t index : ButtonsUnderPoint(Document.Buttons, pointer.X, pointer.Y))
    {
        // A click may change the buttons; the index stays valid, the list does not shrink.
        if (index < Document.Buttons.size() && OnButtonClick(Document.Buttons[index]))
            break;
    }
    return false;
}

bool SkinWindow::OnMouseDoubleClick(MouseButton, float, float)
{
    return false;
}

bool SkinWindow::OnMouseMoved()
{
    UpdateButtonStates();
    return true;
}

bool SkinWindow::OnResized(int32_t, int32_t, bool)
{
    AnchorTopRightButtons();
    return true;
}

void SkinWindow::OnPaint()
{
    if (Native == nullptr)
        return;
    Native->Paint(
        [this](xCanvas& canvas)
        {
            xWindowRect scratch;
            GetContentRect(scratch);
            PaintSkinContent(canvas, Document, [this](xCanvas& extra) { OnPaintExtra(extra); });
        });
}

bool SkinWindow::GetSizeLimits(xWindowSizeLimits& limits)
{
    if (Native == nullptr)
    {
        limits = {-1, -1, -1, -1};
        return true;
    }
    const xWindowRect work = Native->MonitorWorkArea();
    limits = {SkinMinWidth, SkinMinHeight, work.Right - work.Left, work.Bottom - work.Top};
    return true;
}

void SkinWindow::OnMoved(int32_t, int32_t)
{
    if (Native == nullptr || Pages.empty())
        return;
    // The pages are popups of their own: they follow the window only from here.
    const xWindowRect outer = Native->ScreenRect();
    for (const std::unique_ptr<xWebPageHost>& page : Pages)
        page->PlaceAt(outer.Left, outer.Top);
}

WindowZone SkinWindow::HitTest(int32_t x, int32_t y)
{
    if (Native == nullptr)
        return WindowZone::Nowhere;
    return SkinHitTest(Document.Buttons, x, y);
}

bool SkinWindow::OnWindowButton(WindowButtonAction action)
{
    if (action == WindowButtonAction::Restore && Native != nullptr)
    {
        Native->Restore();
        Native->Invalidate(true);
    }
    return true;
}

bool SkinWindow::OnButtonClick(SkinButton&)
{
    return false;
}

void SkinWindow::OnInvokeClient(const std::vector<xWString>&) {}

bool SkinWindow::OnUnhandledMessage(uint32_t, uintptr_t, intptr_t)
{
    return false;
}

void SkinWindow::OnClose() {}

void SkinWindow::Show()
{
    Shown = true;
    if (Native == nullptr)
        return;
    // Layered before it is shown: a layered window shows nothing until its
    // first paint, where a plain one would flash the class's black background.
    if (Document.Window.Transparency != 0)
        Native->MakeLayered();
    Native->Show();
    if (!Pages.empty())
    {
        xWString address(Document.PageAddress);
        address += PageAddressSuffix();
        for (const std::unique_ptr<xWebPageHost>& page : Pages)
        {
            page->Show();
            LogLine("OpenURL %s", xString(address).c_str());
            page->Navigate(address);
        }
    }
    AnchorTopRightButtons();
    Native->Invalidate(false);
}

void SkinWindow::Hide()
{
    Shown = false;
    if (Native != nullptr)
        Native->Hide();
    for (const std::unique_ptr<xWebPageHost>& page : Pages)
        page->Hide();
}

void SkinWindow::Centre()
{
    if (Native != nullptr)
        Native->CentreOnMonitor();
}

void SkinWindow::Minimize()
{
    if (Native != nullptr)
        Native->Minimize();
}

void SkinWindow::Maximize()
{
    if (Native == nullptr)
        return;
    Native->Maximize();
    Native->Invalidate(true);
}

void SkinWindow::Restore()
{
    if (Native == nullptr)
        return;
    Native->Restore();
    Native->Invalidate(true);
}

void SkinWindow::NavigateFirstPage(const xWString& address)
{
    if (!Pages.empty())
        Pages.front()->Navigate(address);
}

xWString SkinWindow::PageAddressSuffix() const
{
    return {};
}

void SkinWindow::FrameTick(float seconds)
{
    if (!Shown || Native == nullptr || Native->Handle() == nullptr)
        return;
    HoverPollSeconds += seconds;
    if (HoverPollSeconds > HoverPollInterval && IsWatchingPointer())
    {
        UpdateButtonStates();
        HoverPollSeconds = 0.0f;
    }
}

void SkinWindow::OnPaintExtra(xCanvas&) {}

void SkinWindow::UpdateButtonStates()
{
    if (Native == nullptr)
        return;
    const xWindowRect outer = Native->ScreenRect();
    const xWindowPoint cursor = GetCursorScreenPosition();
    const xWindowPoint pointer = {cursor.X - outer.Left, cursor.Y - outer.Top};
    PointerInside = pointer.X >= 0 && pointer.Y >= 0 && pointer.X < outer.Right - outer.Left &&
                    pointer.Y < outer.Bottom - outer.Top;
    if (ApplyPointerToButtons(Document.Buttons, pointer.X, pointer.Y, PrimaryPressed))
        Native->Invalidate(false);
}

void SkinWindow::AnchorTopRightButtons()
{
    if (Native == nullptr)
        return;
    const xWindowRect outer = Native->ScreenRect();
    ::AnchorTopRightButtons(Document.Buttons, outer.Right - outer.Left);
}

xWindowPoint SkinWindow::PointerInWindow() const
{
    const xWindowPoint cursor = GetCursorScreenPosition();
    const xWindowRect outer = Native->ScreenRect();
    return {cursor.X - outer.Left, cursor.Y - outer.Top};
}
