#pragma once

#include "SkinDocument.h"

#include "xAppWindow.h"
#include "xString.h"
#include "xWindowRules.h"

#include <cstdint>
#include <memory>
#include <vector>

class xCanvas;
class xWebPageHost;

// A window drawn entirely from a skin document: its pictures, its picture
// buttons with their three faces, and whatever its owner paints on top. The
// owners (splash screen, main frame, game frame) specialise the virtual
// operations; window events arrive through the SkinEventRouter. Main thread only.
class SkinWindow
{
public:
    // `defaultTitle` names the window when its document gives no title.
    SkinWindow(xAppWindow& app, xWString defaultTitle);
    virtual ~SkinWindow();
    SkinWindow(const SkinWindow&) = delete;
    SkinWindow& operator=(const SkinWindow&) = delete;

    // Reads "<name>.xml" from the resource pack and creates the window from it,
    // hidden. A missing or broken document leaves the window without a native
    // window (logged); every operation then does nothing.
    virtual void Load(const xWString& name);
    // The first button with this ID (byte for byte), or null.
    SkinButton* FindButton(const xString& id);

    xNativeWindow* NativeWindow() const { return Native; }
    bool IsShown() const { return Shown; }
    const SkinDocument& Skin() const { return Document; }
    std::vector<SkinButton>& Buttons() { return Document.Buttons; }

    // The area an owner draws its own content in; none by default.
    virtual bool GetContentRect(xWindowRect& rect);
    virtual bool OnHotKey(int32_t id, intptr_t keyData);
    virtual bool OnMousePressed(MouseButton button, float x, float y);
    // A release over a visible button clicks it, wherever the press began.
    virtual bool OnMouseReleased(MouseButton button, float x, float y);
    virtual bool OnMouseDoubleClick(MouseButton button, float x, float y);
    virtual bool OnMouseMoved();
    virtual bool OnResized(int32_t width, int32_t height, bool minimised);
    virtual void OnPaint();
    virtual bool GetSizeLimits(xWindowSizeLimits& limits);
    virtual void OnMoved(int32_t x, int32_t y);
    // (x, y) relative to the window's outer top-left corner.
    virtual WindowZone HitTest(int32_t x, int32_t y);
    virtual bool OnWindowButton(WindowButtonAction action);
    // True stops the click from reaching later buttons under the pointer.
    virtual bool OnButtonClick(SkinButton& button);
    // A call of the page's script bridge: its arguments as texts, the last one first.
    virtual void OnInvokeClient(const std::vector<xWString>& arguments);
    virtual bool OnUnhandledMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);
    virtual void OnClose();
    virtual void Show();
    virtual void Hide();
    virtual void Centre();
    virtual void Minimize();
    virtual void Maximize();
    virtual void Restore();
    // Sends the first embedded page (if any) to `address`.
    virtual void NavigateFirstPage(const xWString& address);
    // Appended to the document's page address each time the window is shown; none by default.
    virtual xWString PageAddressSuffix() const;
    virtual void FrameTick(float seconds);
    // The owner's drawing, between the pictures and the buttons.
    virtual void OnPaintExtra(xCanvas& canvas);

    // Each button's face for where the pointer is now; one repaint when any changed.
    void UpdateButtonStates();
    // Keeps the TopRight buttons at their distance from the right edge.
    void AnchorTopRightButtons();

protected:
    xAppWindow& App;

private:
    // The pointer relative to the window's outer top-left corner.
    xWindowPoint PointerInWindow() const;
    // Whether the hover poll still looks for the pointer leaving.
    bool IsWatchingPointer() const { return Shown && (PointerInside || PrimaryPressed); }

    xWString DefaultTitle;
    SkinDocument Document;
    xNativeWindow* Native = nullptr;
    bool Shown = false;
    bool PrimaryPressed = false;
    bool SecondaryPressed = false;
    // Where the last look found the pointer; the hover poll stops outside.
    bool PointerInside = false;
    // One per WebPage element, when the window has a handle.
    std::vector<std::unique_ptr<xWebPageHost>> Pages;
};
