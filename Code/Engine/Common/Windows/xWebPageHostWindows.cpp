#include "Windows/xWebPageHostWindows.h"

#include "xAppWindow.h"
#include "xLogLine.h"
#include "xNativeWindow.h"

#include "Windows/xWin32Text.h"

#include <exdispid.h>
#include <cwchar>
#include <utility>
#include <vector>

namespace
{
// The application's window class (xAppWindow registers it): the page window's
// messages then reach the listener as foreign ones, which installs the key hook.
const wchar_t PageWindowClass[] = L"WispWindow";
const wchar_t BrowserInnerWindowClass[] = L"Internet Explorer_Server";
constexpr DISPID InvokeClientId = 1;
// No border or scroll bars (the skin frames the page), forms may remember
// their entries, links open in place, and ActiveX controls in the page stay
// inactive until used.
constexpr DWORD PageHostFlags =
    DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_SCROLL_NO | DOCHOSTUIFLAG_ENABLE_FORMS_AUTOCOMPLETE |
    DOCHOSTUIFLAG_ENABLE_INPLACE_NAVIGATION | DOCHOSTUIFLAG_ENABLE_ACTIVEX_INACTIVATE_MODE;
static_assert(PageHostFlags == 0x2001400C, "the page host's UI flags");
// WM_KEYDOWN through the old WM_KEYLAST: the nine keyboard messages, WM_UNICHAR not among them.
constexpr UINT LastKeyMessage = 0x0108;

WebBrowserHost* CurrentHost = nullptr;
HWND CurrentPageWindow = nullptr;
// The browser's inner window while the key hook sits in front of its procedure.
HWND HookedWindow = nullptr;
WNDPROC PreviousBrowserProcedure = nullptr;

// For the developer at the debugger; the player's log stays free of COM detail.
void DebugLine(const wchar_t* text)
{
    OutputDebugStringW(text);
}

bool IsEmptyRect(const RECT& rect)
{
    return rect.right - rect.left == 0 || rect.bottom - rect.top == 0;
}

LRESULT CALLBACK BrowserKeyHook(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const WNDPROC previous = PreviousBrowserProcedure;
    // Backspace stays with the page's text field: the control's accelerators
    // would turn it into "go back".
    if (message >= WM_KEYDOWN && message <= LastKeyMessage && CurrentHost != nullptr &&
        !(message == WM_KEYDOWN && wParam == VK_BACK))
    {
        MSG record = {window, message, wParam, lParam, 0, {0, 0}};
        CurrentHost->OfferToControl(record);
    }
    if (message == WM_NCDESTROY && window == HookedWindow)
    {
        // The next page's inner window gets the hook again.
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        HookedWindow = nullptr;
    }
    return CallWindowProcW(previous, window, message, wParam, lParam);
}

// The Windows side of xWebPageHost: holds the creator's reference to the host.
class WebPage final : public xWebPageHost
{
public:
    explicit WebPage(xComPtr<WebBrowserHost> host) : Host(std::move(host)) {}
    ~WebPage() override { Host->Close(); }

    bool Navigate(const xWString& address) override { return Host->NavigateBrowser(address); }
    void Show() override { Host->ShowPage(true); }
    void Hide() override { Host->ShowPage(false); }
    void PlaceAt(int32_t left, int32_t top) override { Host->PlacePage(left, top); }

private:
    xComPtr<WebBrowserHost> Host;
};
} // namespace

WebBrowserHost* CurrentWebBrowserHost()
{
    return CurrentHost;
}

std::unique_ptr<xWebPageHost> CreateWebPageHost(xNativeWindow& owner, const xWindowRect& page,
                                                xWebPageHost::ScriptCall onScriptCall)
{
    if (owner.Handle() == nullptr)
        return nullptr;
    xComPtr<WebBrowserHost> host(new WebBrowserHost());
    host->SetUpPage(static_cast<HWND>(owner.Handle()), static_cast<HINSTANCE>(owner.Owner().Instance()),
                    RECT{page.Left, page.Top, page.Right, page.Bottom}, std::move(onScriptCall));
    return std::make_unique<WebPage>(std::move(host));
}

void InstallWebPageKeyHook()
{
    if (HookedWindow != nullptr)
        return;
    // The browser nests its windows, each the first child of the one before.
    for (HWND window = CurrentPageWindow; window != nullptr; window = GetWindow(window, GW_CHILD))
    {
        wchar_t name[256] = {};
        if (GetClassNameW(window, name, 256) == 0 || std::wcscmp(name, BrowserInnerWindowClass) != 0)
            continue;
        const auto hook = reinterpret_cast<LONG_PTR>(BrowserKeyHook);
        if (GetWindowLongPtrW(window, GWLP_WNDPROC) == hook)
            return;
        PreviousBrowserProcedure = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(window, GWLP_WNDPROC, hook));
        HookedWindow = window;
        return;
    }
}

WebBrowserHost::WebBrowserHost()
{
    CurrentHost = this;
    if (FAILED(
            StgCreateDocfile(nullptr, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, Storage.Put())))
    {
        DebugLine(L"StgCreateDocfile错误");
        return;
    }
    if (FAILED(OleCreate(CLSID_WebBrowser, IID_IOleObject, OLERENDER_DRAW, nullptr,
                         static_cast<IOleClientSite*>(this), Storage.Get(), OleObject.PutVoid())))
    {
        DebugLine(L"Ole创建失败");
        return;
    }
    if (FAILED(OleObject->QueryInterface(IID_IOleInPlaceObject, InPlaceObject.PutVoid())))
        DebugLine(L"OleInPlaceObject创建失败");
}

WebBrowserHost::~WebBrowserHost()
{
    // Whatever the control does while it lets go must not bring the count to zero again.
    RefCount = 1;
    Close();
}

void WebBrowserHost::SetPageWindow(HWND window)
{
    PageWindow = window;
}

HWND WebBrowserHost::GetPageWindow()
{
    return PageWindow;
}

void WebBrowserHost::SetUpPage(HWND owner, HINSTANCE instance, const RECT& page,
                               xWebPageHost::ScriptCall onScriptCall)
{
    const int width = SaturatingSpan(page.left, page.right);
    const int height = SaturatingSpan(page.top, page.bottom);
    // Hidden until a document has loaded: a page that cannot render (no engine,
    // no network) leaves the skin's own picture in its place, not a white box.
    const HWND window = CreateWindowExW(0, PageWindowClass, L"WebPage", WS_POPUP, page.left, page.top, width,
                                        height, owner, nullptr, instance, nullptr);
    if (window == nullptr)
    {
        // Without its window the control is never activated: no page, nothing else lost.
        LogLine("Could not create the web page window (error %lu)", GetLastError());
        return;
    }
    CurrentPageWindow = window;
    SetPageWindow(window);
    OnScriptCall = std::move(onScriptCall);
    PageRect = page;
    ActivateBrowser();
    SetBrowserRect(RECT{0, 0, width - 1, height - 1});
    // Where the owner's client area would put it; the owner's move places it for real.
    MoveWindow(window, page.left, page.top, width, height, TRUE);
}

bool WebBrowserHost::ActivateBrowser()
{
    if (!OleObject)
    {
        DebugLine(L"ActiveX对象为空");
        return false;
    }
    if (IsEmptyRect(InPlaceRect))
        GetClientRect(PageWindow, &InPlaceRect);
    if (Activated)
        return true;
    Activated = true;
    if (FAILED(OleObject->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, static_cast<IOleClientSite*>(this), 0,
                                 PageWindow, &InPlaceRect)))
    {
        DebugLine(L"关于INPLACE的DoVerb错误");
        return false;
    }
    IWebBrowser2* browser = Browser();
    xComPtr<IConnectionPointContainer> container;
    if (browser == nullptr ||
        FAILED(browser->QueryInterface(IID_IConnectionPointContainer, container.PutVoid())))
    {
        DebugLine(L"枚举IConnectionPointContainer接口失败");
        return false;
    }
    xComPtr<IConnectionPoint> point;
    if (FAILED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, point.Put())))
    {
        DebugLine(L"FindConnectionPoint失败");
        return false;
    }
    DWORD cookie = 0;
    if (FAILED(point->Advise(static_cast<IDispatch*>(this), &cookie)))
    {
        DebugLine(L"IConnectionPoint::Advise失败");
        return false;
    }
    Events = std::move(point);
    EventsCookie = cookie;
    return true;
}

bool WebBrowserHost::SetBrowserRect(const RECT& rect)
{
    if (!Activated)
    {
        InPlaceRect = rect;
        return true;
    }
    SIZEL extent = {rect.right - rect.left, rect.bottom - rect.top};
    if (!OleObject || FAILED(OleObject->SetExtent(DVASPECT_CONTENT, &extent)))
    {
        DebugLine(L"SetExtent 错误");
        return false;
    }
    if (!InPlaceObject)
        return false;
    if (FAILED(InPlaceObject->SetObjectRects(&rect, &rect)))
    {
        DebugLine(L"SetObjectRects 错误");
        return false;
    }
    InPlaceRect = rect;
    return true;
}

bool WebBrowserHost::NavigateBrowser(const xWString& address)
{
    IWebBrowser2* browser = Browser();
    if (browser == nullptr)
        return false;
    // A script error in the page must not open a dialog over the launcher.
    browser->put_Silent(VARIANT_TRUE);
    BSTR url = SysAllocString(WinText(address));
    VARIANT none;
    VariantInit(&none);
    browser->Navigate(url, &none, &none, &none, &none);
    SysFreeString(url);
    return true;
}

void WebBrowserHost::ShowPage(bool show)
{
    PageWanted = show;
    if (PageWindow != nullptr)
        ShowWindow(PageWindow, show && PageLoaded ? SW_SHOW : SW_HIDE);
}

void WebBrowserHost::PlacePage(int32_t ownerLeft, int32_t ownerTop)
{
    if (PageWindow != nullptr)
        MoveWindow(PageWindow, SaturatingAdd(ownerLeft, PageRect.left), SaturatingAdd(ownerTop, PageRect.top),
                   SaturatingSpan(PageRect.left, PageRect.right),
                   SaturatingSpan(PageRect.top, PageRect.bottom), TRUE);
}

void WebBrowserHost::Close()
{
    OnScriptCall = nullptr;
    if (Events)
    {
        Events->Unadvise(EventsCookie);
        Events.Reset();
    }
    if (InPlaceObject)
    {
        InPlaceObject->InPlaceDeactivate();
        InPlaceObject.Reset();
    }
    BrowserObject.Reset();
    if (OleObject)
    {
        // The control lets go of its client site (this host) here.
        OleObject->Close(OLECLOSE_NOSAVE);
        OleObject->SetClientSite(nullptr);
        OleObject.Reset();
    }
    Storage.Reset();
    if (PageWindow != nullptr)
    {
        if (CurrentPageWindow == PageWindow)
            CurrentPageWindow = nullptr;
        if (IsWindow(PageWindow))
            DestroyWindow(PageWindow);
        PageWindow = nullptr;
    }
    if (CurrentHost == this)
        CurrentHost = nullptr;
}

void WebBrowserHost::OfferToControl(MSG& message)
{
    IWebBrowser2* browser = Browser();
    xComPtr<IOleInPlaceActiveObject> active;
    if (browser != nullptr &&
        SUCCEEDED(browser->QueryInterface(IID_IOleInPlaceActiveObject, active.PutVoid())))
        active->TranslateAccelerator(&message);
}

bool WebBrowserHost::IsTopLevelEvent(const DISPPARAMS* parameters)
{
    // Both events name the frame's browser object first (the last in rgvarg);
    // the top-level one is the control itself, compared as IUnknown.
    if (parameters == nullptr || parameters->cArgs == 0)
        return false;
    const VARIANT& source = parameters->rgvarg[parameters->cArgs - 1];
    IWebBrowser2* browser = Browser();
    if (source.vt != VT_DISPATCH || source.pdispVal == nullptr || browser == nullptr)
        return false;
    xComPtr<IUnknown> sourceIdentity;
    xComPtr<IUnknown> browserIdentity;
    if (FAILED(source.pdispVal->QueryInterface(IID_IUnknown, sourceIdentity.PutVoid())) ||
        FAILED(browser->QueryInterface(IID_IUnknown, browserIdentity.PutVoid())))
        return false;
    return sourceIdentity.Get() == browserIdentity.Get();
}

IWebBrowser2* WebBrowserHost::Browser()
{
    if (BrowserObject)
        return BrowserObject.Get();
    if (!OleObject)
    {
        DebugLine(L"Ole对象为空");
        return nullptr;
    }
    if (FAILED(OleObject->QueryInterface(IID_IWebBrowser2, BrowserObject.PutVoid())))
    {
        DebugLine(L"QueryInterface IID_IWebBrowser2 失败");
        return nullptr;
    }
    return BrowserObject.Get();
}

// IUnknown and IDispatch.

STDMETHODIMP WebBrowserHost::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
        IsEqualIID(iid, DIID_DWebBrowserEvents2))
        *object = static_cast<IDispatch*>(this);
    else if (IsEqualIID(iid, IID_IOleClientSite))
        *object = static_cast<IOleClientSite*>(this);
    else if (IsEqualIID(iid, IID_IOleInPlaceSite))
        *object = static_cast<IOleInPlaceSite*>(this);
    else if (IsEqualIID(iid, IID_IOleInPlaceFrame) || IsEqualIID(iid, IID_IOleInPlaceUIWindow))
        *object = static_cast<IOleInPlaceFrame*>(this);
    else if (IsEqualIID(iid, IID_IDocHostUIHandler))
        *object = static_cast<IDocHostUIHandler*>(this);
    else
    {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) WebBrowserHost::AddRef()
{
    return InterlockedIncrement(&RefCount);
}

STDMETHODIMP_(ULONG) WebBrowserHost::Release()
{
    const LONG count = InterlockedDecrement(&RefCount);
    if (count == 0)
        delete this;
    return count;
}

STDMETHODIMP WebBrowserHost::GetTypeInfoCount(UINT* count)
{
    if (count != nullptr)
        *count = 0;
    return S_OK;
}

STDMETHODIMP WebBrowserHost::GetTypeInfo(UINT, LCID, ITypeInfo**)
{
    return E_FAIL;
}

STDMETHODIMP WebBrowserHost::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    // Exactly as written: a script that spells the method otherwise fails in the page.
    if (count == 0 || names == nullptr || ids == nullptr || names[0] == nullptr ||
        std::wcscmp(names[0], L"Invoke_Client") != 0)
        return E_NOTIMPL;
    ids[0] = InvokeClientId;
    return S_OK;
}

STDMETHODIMP WebBrowserHost::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* parameters, VARIANT*,
                                    EXCEPINFO*, UINT*)
{
    if (!IsEqualIID(iid, IID_NULL))
        return E_INVALIDARG;
    // The browser's events come here too, with their own identifiers: only
    // whether a document is there to show matters.
    if (id == DISPID_DOCUMENTCOMPLETE || id == DISPID_NAVIGATEERROR)
    {
        const PageLoadEvent event =
            id == DISPID_DOCUMENTCOMPLETE ? PageLoadEvent::DocumentComplete : PageLoadEvent::NavigateError;
        PageLoaded = PageLoadedAfter(PageLoaded, event, IsTopLevelEvent(parameters));
        ShowPage(PageWanted);
        return E_NOTIMPL;
    }
    if (id != InvokeClientId || (flags & DISPATCH_METHOD) == 0)
        return E_NOTIMPL;

    std::vector<xWString> arguments;
    const UINT count = parameters != nullptr ? parameters->cArgs : 0;
    for (UINT index = 0; index < count; ++index)
    {
        VARIANT text;
        VariantInit(&text);
        if (FAILED(VariantChangeType(&text, &parameters->rgvarg[index], 0, VT_BSTR)))
            continue;
        if (text.bstrVal != nullptr)
            arguments.push_back(FromWinText(text.bstrVal, SysStringLen(text.bstrVal)));
        else
            arguments.emplace_back();
        VariantClear(&text);
        LogLine("arg: %s", xString(arguments.back()).c_str());
    }
    if (!arguments.empty() && OnScriptCall)
    {
        // The owner may close the page from inside the call.
        const xWebPageHost::ScriptCall call = OnScriptCall;
        AddRef();
        call(arguments);
        Release();
    }
    return S_OK;
}

// IOleClientSite.

STDMETHODIMP WebBrowserHost::SaveObject()
{
    return S_OK;
}

STDMETHODIMP WebBrowserHost::GetMoniker(DWORD, DWORD, IMoniker** moniker)
{
    if (moniker != nullptr)
        *moniker = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowserHost::GetContainer(IOleContainer** container)
{
    if (container != nullptr)
        *container = nullptr;
    return E_FAIL;
}

STDMETHODIMP WebBrowserHost::ShowObject()
{
    return S_OK;
}

STDMETHODIMP WebBrowserHost::OnShowWindow(BOOL)
{
    return S_OK;
}

STDMETHODIMP WebBrowserHost::RequestNewObjectLayout()
{
    return S_OK;
}

// IOleWindow.

STDMETHODIMP WebBrowserHost::GetWindow(HWND* window)
{
    if (window == nullptr)
        return E_POINTER;
    *window = PageWindow;
    return S_OK;
}

STDMETHODIMP WebBrowserHost::ContextSensitiveHelp(BOOL)
{
    return E_NOTIMPL;
}

// IOleInPlaceSite.

STDMETHODIMP WebBrowserHost::CanInPlaceActivate()
{
    return Activated ? S_OK : S_FALSE;
}

STDMETHODIMP WebBrowserHost::OnInPlaceActivate()
{
    return S_OK;
}

STDMETHODIMP WebBrowserHost::OnUIActivate()
{
    return S_OK;
}

STDMETHODIMP WebBrowserHost::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                              LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO frameInfo)
{
    if (frame != nullptr)
    {
        *frame = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
    }
    if (document != nullptr)
        *document = nullptr;
    RECT client = {};
    GetClientRect(PageWindow, &client);
    if (position != nullptr)
        *position = client;
    if (clip != nullptr)
        *clip = client;
    InPlaceRect = client;
    if (frameInfo != nullptr)
    {
        // The structure's own size: 20 bytes in a 32-bit process, more here.
        frameInfo->cb = sizeof(OLEINPLACEFRAMEINFO);
        frameInfo->fMDIApp = FALSE;
        frameInfo->hwndFrame = ::GetParent(PageWindow);
        frameInfo->haccel = nullptr;
        frameInfo->cAccelEntries = 0;
    }
    return S_OK;
}

STDMETHODIMP WebBrowserHost::Scroll(SIZE)
{
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowserHost::OnUIDeactivate(BOOL)
{
    return S_OK;
}

STDMETHODIMP WebBrowserHost::OnInPlaceDeactivate()
{
    return S_OK;
}

STDMETHODIMP WebBrowserHost::DiscardUndoState()
{
    return S_OK;
}

STDMETHODIMP WebBrowserHost::DeactivateAndUndo()
{
    return S_OK;
}

STDMETHODIMP WebBrowserHost::OnPosRectChange(LPCRECT)
{
    return S_OK;
}

// IOleInPlaceUIWindow and IOleInPlaceFrame.

STDMETHODIMP WebBrowserHost::GetBorder(LPRECT border)
{
    if (border == nullptr)
        return E_POINTER;
    GetClientRect(PageWindow, border);
    return S_OK;
}

STDMETHODIMP WebBrowserHost::RequestBorderSpace(LPCBORDERWIDTHS)
{
    return S_OK;
}

STDMETHODIMP WebBrowserHost::SetBorderSpace(LPCBORDERWIDTHS)
{
    return S_OK;
}

STDMETHODIMP WebBrowserHost::SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR)
{
    return S_OK;
}

STDMETHODIMP WebBrowserHost::InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS)
{
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowserHost::SetMenu(HMENU, HOLEMENU, HWND)
{
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowserHost::RemoveMenus(HMENU)
{
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowserHost::SetStatusText(LPCOLESTR)
{
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowserHost::EnableModeless(BOOL)
{
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowserHost::TranslateAccelerator(LPMSG message, WORD)
{
    if (message != nullptr)
        OfferToControl(*message);
    return S_OK;
}

// IDocHostUIHandler.

STDMETHODIMP WebBrowserHost::ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*)
{
    // Handled: the page shows no context menu.
    return S_OK;
}

STDMETHODIMP WebBrowserHost::GetHostInfo(DOCHOSTUIINFO* info)
{
    if (info == nullptr)
        return E_POINTER;
    info->cbSize = sizeof(DOCHOSTUIINFO);
    info->dwFlags = PageHostFlags;
    info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    info->pchHostCss = nullptr;
    info->pchHostNS = nullptr;
    return S_OK;
}

STDMETHODIMP WebBrowserHost::ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                                    IOleInPlaceUIWindow*)
{
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowserHost::HideUI()
{
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowserHost::UpdateUI()
{
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowserHost::OnDocWindowActivate(BOOL)
{
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowserHost::OnFrameWindowActivate(BOOL)
{
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowserHost::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL)
{
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowserHost::TranslateAccelerator(LPMSG, const GUID*, DWORD)
{
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowserHost::GetOptionKeyPath(LPOLESTR* key, DWORD)
{
    if (key != nullptr)
        *key = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowserHost::GetDropTarget(IDropTarget*, IDropTarget** replacement)
{
    if (replacement != nullptr)
        *replacement = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowserHost::GetExternal(IDispatch** external)
{
    if (external == nullptr)
        return E_POINTER;
    // With its own reference: the page keeps `window.external` as long as it likes.
    *external = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP WebBrowserHost::TranslateUrl(DWORD, LPWSTR, LPWSTR* translated)
{
    if (translated != nullptr)
        *translated = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowserHost::FilterDataObject(IDataObject*, IDataObject** replacement)
{
    if (replacement != nullptr)
        *replacement = nullptr;
    return E_NOTIMPL;
}
