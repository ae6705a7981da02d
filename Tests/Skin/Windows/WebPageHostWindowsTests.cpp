#include "ResPack.h"
#include "SkinEventRouter.h"
#include "SkinWindow.h"

#include "Windows/xWebPageHostWindows.h"
#include "Windows/xWin32Text.h"

#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <windows.h>

#include <exdispid.h>

// The main frame's embedded page and its script bridge, driven through COM as
// the browser would. Wine has no engine behind the WebBrowser control here, so
// the page stays blank; everything the launcher answers is still checked.
namespace
{
// Records the script calls that reach the window.
class PageOwner : public SkinWindow
{
public:
    using SkinWindow::SkinWindow;
    void OnInvokeClient(const std::vector<xWString>& arguments) override
    {
        std::vector<std::string> call;
        for (const xWString& argument : arguments)
            call.push_back(xString(argument).c_str());
        Calls.push_back(call);
    }
    std::vector<std::vector<std::string>> Calls;
};

class WebPageHostWindows : public testing::Test
{
protected:
    // As the launcher's start-up does: the control needs COM on this thread.
    static void SetUpTestSuite() { CoInitialize(nullptr); }
    static void TearDownTestSuite() { CoUninitialize(); }

    void SetUp() override
    {
        TheResPack().Load();
        App = std::make_unique<xAppWindow>(GetModuleHandleW(nullptr));
        App->SetListener(&Router);
        Frame = std::make_unique<PageOwner>(*App, u"Default");
        Frame->Load(u"MainFrame");
        ASSERT_NE(Frame->NativeWindow(), nullptr);
        Host = CurrentWebBrowserHost();
        ASSERT_NE(Host, nullptr);
    }

    HWND FrameHandle() const { return static_cast<HWND>(Frame->NativeWindow()->Handle()); }

    SkinEventRouter Router;
    std::unique_ptr<xAppWindow> App;
    std::unique_ptr<PageOwner> Frame;
    WebBrowserHost* Host = nullptr;
};

// A script argument: a text, a number, or the host itself as an object of `type`, whose
// default value the host refuses (it has no text form).
VARIANT Argument(VARTYPE type, const wchar_t* text = nullptr, LONG number = 0, WebBrowserHost* host = nullptr)
{
    VARIANT value;
    VariantInit(&value);
    value.vt = type;
    if (type == VT_BSTR)
        value.bstrVal = SysAllocString(text);
    else if (type == VT_I4)
        value.lVal = number;
    else
        (value.pdispVal = static_cast<IDispatch*>(host))->AddRef();
    return value;
}

std::vector<UINT> InnerWindowMessages;

LRESULT CALLBACK RecordingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message >= WM_KEYDOWN && message <= WM_CHAR)
        InnerWindowMessages.push_back(message);
    return DefWindowProcW(window, message, wParam, lParam);
}
} // namespace

TEST_F(WebPageHostWindows, ScriptCallsReachTheOwnerAsTexts)
{
    using Calls = std::vector<std::vector<std::string>>;
    const auto text = [](const wchar_t* value) { return Argument(VT_BSTR, value); };
    const auto object = [&](VARTYPE type) { return Argument(type, nullptr, 0, Host); };
    const WORD method = DISPATCH_METHOD, get = DISPATCH_PROPERTYGET;
    // Arguments in the platform's order: the script's last argument first.
    struct Case
    {
        const char* What;
        WORD Flags;
        std::vector<VARIANT> Arguments;
        HRESULT Result;
        Calls Delivered;
        DISPID Id = 1;
        const IID* Iid = &IID_NULL;
    } cases[] = {
        {"login", method | get, {text(L"login"), Argument(VT_I4, nullptr, 5)}, S_OK, {{"login", "5"}}},
        {"Chinese text", method, {text(L"登录")}, S_OK, {{"登录"}}},
        {"objects skipped", method, {object(VT_DISPATCH), text(L"x"), object(VT_UNKNOWN)}, S_OK, {{"x"}}},
        {"no arguments", method, {}, S_OK, {}},
        {"a property read", get, {text(L"x")}, E_NOTIMPL, {}},
        {"a browser event", method, {text(L"x")}, E_NOTIMPL, {}, 259},
        {"an interface id", method, {text(L"x")}, E_INVALIDARG, {}, 1, &IID_IDispatch},
    };
    for (Case& c : cases)
    {
        SCOPED_TRACE(c.What);
        Frame->Calls.clear();
        DISPPARAMS parameters = {c.Arguments.data(), nullptr, static_cast<UINT>(c.Arguments.size()), 0};
        VARIANT result;
        VariantInit(&result);
        EXPECT_EQ(Host->Invoke(c.Id, *c.Iid, 0, c.Flags, &parameters, &result, nullptr, nullptr), c.Result);
        EXPECT_EQ(result.vt, VT_EMPTY) << "the script sees no return value";
        EXPECT_EQ(Frame->Calls, c.Delivered);
        for (VARIANT& argument : c.Arguments)
            VariantClear(&argument);
    }
}

TEST_F(WebPageHostWindows, InterfacesAnswerAsTheControlExpects)
{
    const struct
    {
        const IID* Iid;
        void* Expected;
    } cases[] = {
        {&IID_IUnknown, static_cast<IDispatch*>(Host)},
        {&DIID_DWebBrowserEvents2, static_cast<IDispatch*>(Host)},
        {&IID_IOleInPlaceUIWindow, static_cast<IOleInPlaceFrame*>(Host)},
        {&IID_IDocHostUIHandler, static_cast<IDocHostUIHandler*>(Host)},
        {&IID_IStream, nullptr},
    };
    for (size_t index = 0; index < std::size(cases); ++index)
    {
        SCOPED_TRACE(index);
        const ULONG held = Host->AddRef() - 1;
        Host->Release();
        void* object = reinterpret_cast<void*>(1);
        const HRESULT result = Host->QueryInterface(*cases[index].Iid, &object);
        EXPECT_EQ(result, cases[index].Expected != nullptr ? S_OK : E_NOINTERFACE);
        EXPECT_EQ(object, cases[index].Expected);
        if (object != nullptr)
        {
            EXPECT_EQ(static_cast<IUnknown*>(object)->Release(), held) << "one reference added";
        }
    }

    IDispatch* external = nullptr;
    ASSERT_EQ(Host->GetExternal(&external), S_OK);
    EXPECT_EQ(external, static_cast<IDispatch*>(Host));
    external->Release();
    EXPECT_EQ(Host->ShowContextMenu(0, nullptr, nullptr, nullptr), S_OK) << "no context menu";

    // The script names one method, exactly.
    for (const auto& [name, result] : {std::pair<const wchar_t*, HRESULT>{L"Invoke_Client", S_OK},
                                       {L"invoke_client", E_NOTIMPL},
                                       {L"Invoke_ClientX", E_NOTIMPL}})
    {
        DISPID id = -1;
        LPOLESTR text = const_cast<LPOLESTR>(name);
        EXPECT_EQ(Host->GetIDsOfNames(IID_NULL, &text, 1, 0, &id), result)
            << xString(FromWinText(name)).c_str();
        EXPECT_EQ(id, result == S_OK ? 1 : DISPID_UNKNOWN);
    }
}

TEST_F(WebPageHostWindows, PageWindowRidesOnItsOwner)
{
    const HWND page = Host->GetPageWindow();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(GetWindow(page, GW_OWNER), FrameHandle());
    EXPECT_EQ(GetWindowLongPtrW(page, GWL_STYLE) & WS_POPUP, LONG_PTR(WS_POPUP));

    // The page is navigated on showing, but shows only once a document has
    // loaded (Wine has no engine: the test plays the browser's events);
    // moving the window carries the page along.
    Frame->Show();
    SetWindowPos(FrameHandle(), nullptr, 40, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_FALSE(IsWindowVisible(page)) << "nothing loaded yet";
    // Each event names its document's browser first (the last in rgvarg): the
    // control itself for the top-level document, another object for a frame.
    ASSERT_NE(Host->Browser(), nullptr);
    VARIANT topLevel[1];
    topLevel[0].vt = VT_DISPATCH;
    topLevel[0].pdispVal = Host->Browser();
    VARIANT frame[1] = {Argument(VT_DISPATCH, nullptr, 0, Host)};
    DISPPARAMS fromTop = {topLevel, nullptr, 1, 0};
    DISPPARAMS fromFrame = {frame, nullptr, 1, 0};
    EXPECT_EQ(
        Host->Invoke(DISPID_NAVIGATEERROR, IID_NULL, 0, DISPATCH_METHOD, &fromTop, nullptr, nullptr, nullptr),
        E_NOTIMPL);
    EXPECT_FALSE(IsWindowVisible(page)) << "a failed navigation shows nothing";
    Host->Invoke(DISPID_DOCUMENTCOMPLETE, IID_NULL, 0, DISPATCH_METHOD, &fromTop, nullptr, nullptr, nullptr);
    EXPECT_TRUE(IsWindowVisible(page));
    Host->Invoke(DISPID_NAVIGATEERROR, IID_NULL, 0, DISPATCH_METHOD, &fromFrame, nullptr, nullptr, nullptr);
    EXPECT_TRUE(IsWindowVisible(page)) << "a frame that failed leaves the page";
    VariantClear(&frame[0]);
    RECT placed = {};
    GetWindowRect(page, &placed);
    EXPECT_EQ((std::vector<LONG>{placed.left, placed.top, placed.right, placed.bottom}),
              (std::vector<LONG>{40 + 474, 30 + 305, 40 + 474 + 700, 30 + 305 + 380}));
    Frame->Hide();
    EXPECT_FALSE(IsWindowVisible(page));

    // Closing the window lets go of the control, which lets go of the host.
    Host->AddRef();
    Frame.reset();
    EXPECT_FALSE(IsWindow(page));
    EXPECT_EQ(CurrentWebBrowserHost(), nullptr);
    EXPECT_EQ(Host->Release(), 0u) << "references still held";
}

// Backspace is kept from the control's accelerators (which would go back a page); the hook passes
// every key on to the inner window, and a destroyed inner window gives the hook to the next one.
TEST_F(WebPageHostWindows, KeyHookSitsInFrontOfTheBrowserInnerWindow)
{
    // The engine's inner window, which Wine does not make, played by a window of its class at the end of
    // the chain of first children, where the engine puts it.
    WNDCLASSW inner = {};
    inner.lpfnWndProc = RecordingProcedure;
    inner.hInstance = GetModuleHandleW(nullptr);
    inner.lpszClassName = L"Internet Explorer_Server";
    RegisterClassW(&inner);
    for (int round = 0; round < 2; ++round)
    {
        SCOPED_TRACE(round);
        HWND parent = Host->GetPageWindow();
        while (GetWindow(parent, GW_CHILD) != nullptr)
            parent = GetWindow(parent, GW_CHILD);
        const HWND window = CreateWindowExW(0, inner.lpszClassName, L"", WS_CHILD, 0, 0, 10, 10, parent,
                                            nullptr, inner.hInstance, nullptr);
        // Any message of the page window (outside the application's list) installs it.
        SendMessageW(Host->GetPageWindow(), WM_NULL, 0, 0);
        EXPECT_NE(GetWindowLongPtrW(window, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(RecordingProcedure));
        InnerWindowMessages.clear();
        SendMessageW(window, WM_KEYDOWN, VK_BACK, 0);
        SendMessageW(window, WM_CHAR, 'a', 0);
        EXPECT_EQ(InnerWindowMessages, (std::vector<UINT>{WM_KEYDOWN, WM_CHAR})) << "passed on";
        DestroyWindow(window);
    }
    UnregisterClassW(inner.lpszClassName, inner.hInstance);
}
