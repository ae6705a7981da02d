#include "xWebPageHost.h"

#include "xLogLine.h"
#include "xNativeWindow.h"
#include "xTextConversion.h"

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

// The page in WebKitGTK, a child of the owner's window (a popup of its own, as
// on Windows, would get no keyboard focus from X without a window manager, and
// the player could not type into the page); it moves with its owner. The script bridge is a user script that
// gives every top document `window.external.Invoke_Client`; it posts the call's
// texts to a script message handler. Texts go as the Windows bridge converts
// them: undefined is an empty text, null and objects are skipped.

namespace
{
const char* const BridgeName = "launcher";

const char* const BridgeScript = R"(window.external = window.external || {};
window.external.Invoke_Client = function () {
    var texts = [];
    for (var i = 0; i < arguments.length; ++i) {
        var a = arguments[i];
        if (a === undefined) texts.push("");
        else if (a !== null && typeof a !== "object" && typeof a !== "function") texts.push(String(a));
    }
    window.webkit.messageHandlers.launcher.postMessage(JSON.stringify(texts));
};)";

// The layer over the owner's skin that its pages sit in, made with the first page.
GtkWidget* LayerOf(xNativeWindow& owner)
{
    GtkWidget* window = GTK_WIDGET(owner.Handle());
    GtkWidget* layer = gtk_bin_get_child(GTK_BIN(window));
    if (layer != nullptr)
        return layer;
    layer = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(window), layer);
    gtk_widget_show(layer);
    return layer;
}

class WebPage final : public xWebPageHost
{
public:
    WebPage(xNativeWindow& owner, const xWindowRect& page, ScriptCall onScriptCall)
        : OnScriptCall(std::move(onScriptCall))
    {
        WebKitUserContentManager* content = webkit_user_content_manager_new();
        g_signal_connect(content, "script-message-received::launcher", G_CALLBACK(OnMessage), this);
        webkit_user_content_manager_register_script_message_handler(content, BridgeName);
        WebKitUserScript* script =
            webkit_user_script_new(BridgeScript, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                   WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
        webkit_user_content_manager_add_script(content, script);
        webkit_user_script_unref(script);
        View = webkit_web_view_new_with_user_content_manager(content);
        g_object_unref(content);
        g_signal_connect(View, "load-changed", G_CALLBACK(OnLoadChanged), this);
        g_signal_connect(View, "load-failed", G_CALLBACK(OnLoadFailed), this);
        // The view asks for the page's whole height once it has loaded; in a
        // scrolled window of the page rectangle's size it keeps to that
        // rectangle and the owner's window keeps its own size.
        Frame = gtk_scrolled_window_new(nullptr, nullptr);
        gtk_widget_set_size_request(Frame, page.Right - page.Left, page.Bottom - page.Top);
        gtk_container_add(GTK_CONTAINER(Frame), View);
        gtk_widget_show(View);
        gtk_fixed_put(GTK_FIXED(LayerOf(owner)), Frame, page.Left, page.Top);
    }
    ~WebPage() override { gtk_widget_destroy(Frame); }
    WebPage(const WebPage&) = delete;
    WebPage& operator=(const WebPage&) = delete;

    bool Navigate(const xWString& address) override
    {
        webkit_web_view_load_uri(WEBKIT_WEB_VIEW(View), WideToUtf8(address).c_str());
        return true;
    }
    void Show() override
    {
        Wanted = true;
        ShowIfLoaded();
    }
    void Hide() override
    {
        Wanted = false;
        ShowIfLoaded();
    }
    // A child moves with its owner.
    void PlaceAt(int32_t, int32_t) override {}

private:
    // Shown only while wanted and once the top document has loaded: never a blank or an error page.
    void ShowIfLoaded()
    {
        if (Wanted && Loaded)
            gtk_widget_show(Frame);
        else
            gtk_widget_hide(Frame);
    }

    static void OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data)
    {
        if (event != WEBKIT_LOAD_FINISHED)
            return;
        WebPage& page = *static_cast<WebPage*>(data);
        page.Loaded = PageLoadedAfter(page.Loaded, PageLoadEvent::DocumentComplete, true);
        page.ShowIfLoaded();
    }

    static gboolean OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar*, GError*, gpointer data)
    {
        WebPage& page = *static_cast<WebPage*>(data);
        page.Loaded = PageLoadedAfter(page.Loaded, PageLoadEvent::NavigateError, true);
        page.ShowIfLoaded();
        return TRUE;
    }

    static void OnMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer data)
    {
        WebPage& page = *static_cast<WebPage*>(data);
        JSCValue* value = webkit_javascript_result_get_js_value(result);
        gchar* json = jsc_value_to_string(value);
        JSCValue* texts = jsc_value_new_from_json(jsc_value_get_context(value), json);
        g_free(json);
        std::vector<xWString> arguments;
        int32_t count = 0;
        if (jsc_value_is_array(texts))
        {
            JSCValue* length = jsc_value_object_get_property(texts, "length");
            count = jsc_value_to_int32(length);
            g_object_unref(length);
        }
        // The Windows bridge hands the arguments over last first.
        for (int32_t index = count - 1; index >= 0; --index)
        {
            JSCValue* item = jsc_value_object_get_property_at_index(texts, static_cast<guint>(index));
            gchar* text = jsc_value_to_string(item);
            arguments.push_back(Utf8ToWide(text));
            LogLine("arg: %s", text);
            g_free(text);
            g_object_unref(item);
        }
        g_object_unref(texts);
        if (arguments.empty() || !page.OnScriptCall)
            return;
        // The owner may close the page from inside the call.
        const ScriptCall call = page.OnScriptCall;
        call(arguments);
    }

    ScriptCall OnScriptCall;
    GtkWidget* Frame = nullptr;
    GtkWidget* View = nullptr;
    bool Wanted = true;
    bool Loaded = false;
};
} // namespace

std::unique_ptr<xWebPageHost> CreateWebPageHost(xNativeWindow& owner, const xWindowRect& page,
                                                xWebPageHost::ScriptCall onScriptCall)
{
    if (owner.Handle() == nullptr)
        return nullptr;
    return std::make_unique<WebPage>(owner, page, std::move(onScriptCall));
}

// WebKit's view takes the keys it has the focus for, and binds none that leave
// the page (no Backspace, Alt+Left or mouse-button history); nothing to hook.
void InstallWebPageKeyHook() {}
