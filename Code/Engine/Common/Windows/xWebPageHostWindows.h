#pragma once

// The Windows page host, open to the tests that drive its COM side directly.
#include "xWebPageHost.h"

#include "Windows/xComPtr.h"

#include <windows.h>

#include <exdisp.h>
#include <mshtmhst.h>
#include <ocidl.h>
#include <oleidl.h>

// The container of one WebBrowser control: the page's `window.external`, the
// control's event sink and its in-place site, frame and UI handler in one
// object. Counted references: the creator holds the first; Close lets go of the
// control (and with it the control's references), and the last Release frees it.
class WebBrowserHost final : public IDispatch,
                             public IOleClientSite,
                             public IOleInPlaceSite,
                             public IOleInPlaceFrame,
                             public IDocHostUIHandler
{
public:
    // Creates the control in a temporary storage. On failure the host stays
    // without a control and only its interfaces answer.
    WebBrowserHost();
    WebBrowserHost(const WebBrowserHost&) = delete;
    WebBrowserHost& operator=(const WebBrowserHost&) = delete;

    // The host's own operations, after the seven of IDispatch in its first table.
    virtual void SetPageWindow(HWND window);
    virtual HWND GetPageWindow();

    // Makes the popup page window at `page` (the owner's client coordinates),
    // visible, and activates the control in it.
    void SetUpPage(HWND owner, HINSTANCE instance, const RECT& page, xWebPageHost::ScriptCall onScriptCall);
    bool ActivateBrowser();
    bool SetBrowserRect(const RECT& rect);
    bool NavigateBrowser(const xWString& address);
    void ShowPage(bool show);
    void PlacePage(int32_t ownerLeft, int32_t ownerTop);
    // Lets go of the control and the page window; script calls go nowhere from now on.
    void Close();
    // Offers a key message to the control's accelerators; their answer does not matter.
    void OfferToControl(MSG& message);

    // IUnknown, IDispatch (the external object and the DWebBrowserEvents2 sink).
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                        VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override;

    // IOleClientSite.
    STDMETHODIMP SaveObject() override;
    STDMETHODIMP GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
    STDMETHODIMP GetContainer(IOleContainer** container) override;
    STDMETHODIMP ShowObject() override;
    STDMETHODIMP OnShowWindow(BOOL show) override;
    STDMETHODIMP RequestNewObjectLayout() override;

    // IOleWindow, shared by the in-place site and the frame.
    STDMETHODIMP GetWindow(HWND* window) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL enterMode) override;

    // IOleInPlaceSite.
    STDMETHODIMP CanInPlaceActivate() override;
    STDMETHODIMP OnInPlaceActivate() override;
    STDMETHODIMP OnUIActivate() override;
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                  LPRECT clip, LPOLEINPLACEFRAMEINFO frameInfo) override;
    STDMETHODIMP Scroll(SIZE extent) override;
    STDMETHODIMP OnUIDeactivate(BOOL undoable) override;
    STDMETHODIMP OnInPlaceDeactivate() override;
    STDMETHODIMP DiscardUndoState() override;
    STDMETHODIMP DeactivateAndUndo() override;
    STDMETHODIMP OnPosRectChange(LPCRECT position) override;

    // IOleInPlaceUIWindow, IOleInPlaceFrame.
    STDMETHODIMP GetBorder(LPRECT border) override;
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS widths) override;
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS widths) override;
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR name) override;
    STDMETHODIMP InsertMenus(HMENU menu, LPOLEMENUGROUPWIDTHS widths) override;
    STDMETHODIMP SetMenu(HMENU menu, HOLEMENU shared, HWND activeObject) override;
    STDMETHODIMP RemoveMenus(HMENU menu) override;
    STDMETHODIMP SetStatusText(LPCOLESTR text) override;
    // Also IDocHostUIHandler's.
    STDMETHODIMP EnableModeless(BOOL enable) override;
    STDMETHODIMP TranslateAccelerator(LPMSG message, WORD id) override;

    // IDocHostUIHandler.
    STDMETHODIMP ShowContextMenu(DWORD id, POINT* point, IUnknown* target, IDispatch* object) override;
    STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override;
    STDMETHODIMP ShowUI(DWORD id, IOleInPlaceActiveObject* object, IOleCommandTarget* target,
                        IOleInPlaceFrame* frame, IOleInPlaceUIWindow* document) override;
    STDMETHODIMP HideUI() override;
    STDMETHODIMP UpdateUI() override;
    STDMETHODIMP OnDocWindowActivate(BOOL activate) override;
    STDMETHODIMP OnFrameWindowActivate(BOOL activate) override;
    STDMETHODIMP ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frameWindow) override;
    STDMETHODIMP TranslateAccelerator(LPMSG message, const GUID* group, DWORD command) override;
    STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD reserved) override;
    STDMETHODIMP GetDropTarget(IDropTarget* target, IDropTarget** replacement) override;
    STDMETHODIMP GetExternal(IDispatch** external) override;
    STDMETHODIMP TranslateUrl(DWORD translate, LPWSTR address, LPWSTR* translated) override;
    STDMETHODIMP FilterDataObject(IDataObject* object, IDataObject** replacement) override;

    // The control's IWebBrowser2, asked for once and kept; null without one.
    IWebBrowser2* Browser();

private:
    ~WebBrowserHost();
    // Whether a load event's source (its first argument) is the control's own top-level document.
    bool IsTopLevelEvent(const DISPPARAMS* parameters);

    LONG RefCount = 1;
    HWND PageWindow = nullptr;
    // The owner shows the page, and a document has loaded in it: only both show the window.
    bool PageWanted = false;
    bool PageLoaded = false;
    RECT InPlaceRect = {};
    RECT PageRect = {};
    bool Activated = false;
    xWebPageHost::ScriptCall OnScriptCall;
    xComPtr<IOleObject> OleObject;
    xComPtr<IOleInPlaceObject> InPlaceObject;
    xComPtr<IStorage> Storage;
    xComPtr<IWebBrowser2> BrowserObject;
    // Kept so that Close can unadvise: the connection holds a reference to the host.
    xComPtr<IConnectionPoint> Events;
    DWORD EventsCookie = 0;
};

// The most recently constructed host that is still open, or null.
WebBrowserHost* CurrentWebBrowserHost();
