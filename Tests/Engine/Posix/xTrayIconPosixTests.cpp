#include "CapturedLog.h"
#include "Posix/Desktop.h"

#include "xAppWindow.h"
#include "xTextConversion.h"
#include "xTrayIcon.h"

#include <filesystem>
#include <vector>

// The icon as a desktop sees it: a StatusNotifier item on the session bus
// (no tray host runs on the test's desktop), whose menu entry reaches the
// window's listener as a left click, and a notification server of the test's
// own that receives the balloon.

namespace
{
struct TrayMessage
{
    uint32_t Message;
    uintptr_t WParam;
    intptr_t LParam;
};

struct RecordingListener : xAppWindowListener
{
    std::vector<TrayMessage> Messages;
    void OnUnhandledMessage(xNativeWindow*, uint32_t message, uintptr_t wParam, intptr_t lParam) override
    {
        Messages.push_back({message, wParam, lParam});
    }
};

// A notification server owning its well-known name on a connection of its own.
struct NotificationServer
{
    std::vector<std::string> Received;
    GDBusConnection* Bus = nullptr;
    NotificationServer()
    {
        Bus = g_dbus_connection_new_for_address_sync(
            std::getenv("DBUS_SESSION_BUS_ADDRESS"),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, nullptr);
        GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(
            "<node><interface name='org.freedesktop.Notifications'><method name='Notify'>"
            "<arg type='s' direction='in'/><arg type='u' direction='in'/><arg type='s' direction='in'/>"
            "<arg type='s' direction='in'/><arg type='s' direction='in'/><arg type='as' direction='in'/>"
            "<arg type='a{sv}' direction='in'/><arg type='i' direction='in'/><arg type='u' direction='out'/>"
            "</method></interface></node>",
            nullptr);
        static const GDBusInterfaceVTable table = {
            [](GDBusConnection*, const char*, const char*, const char*, const char*, GVariant* parameters,
               GDBusMethodInvocation* call, gpointer data)
            {
                const char *app = nullptr, *icon = nullptr, *summary = nullptr, *body = nullptr;
                g_variant_get(parameters, "(&su&s&s&s@as@a{sv}i)", &app, nullptr, &icon, &summary, &body,
                              nullptr, nullptr, nullptr);
                static_cast<NotificationServer*>(data)->Received.push_back(std::string(app) + "|" + summary +
                                                                           "|" + body + "|" + icon);
                g_dbus_method_invocation_return_value(call, g_variant_new("(u)", 7u));
            },
            nullptr,
            nullptr,
            {}};
        g_dbus_connection_register_object(Bus, "/org/freedesktop/Notifications", node->interfaces[0], &table,
                                          this, nullptr, nullptr);
        g_dbus_node_info_unref(node);
        g_variant_unref(CallAndWait(Bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                    "org.freedesktop.DBus", "RequestName",
                                    g_variant_new("(su)", "org.freedesktop.Notifications", 4u)));
    }
    ~NotificationServer() { g_object_unref(Bus); }
};

// The paths of the StatusNotifier items this process exports.
std::vector<std::string> ItemPaths(GDBusConnection* bus)
{
    std::vector<std::string> paths;
    GVariant* reply =
        CallAndWait(bus, g_dbus_connection_get_unique_name(bus), "/org/ayatana/NotificationItem",
                    "org.freedesktop.DBus.Introspectable", "Introspect", nullptr);
    if (reply == nullptr)
        return paths;
    const char* xml = nullptr;
    g_variant_get(reply, "(&s)", &xml);
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(xml, nullptr);
    for (GDBusNodeInfo** child = node != nullptr ? node->nodes : nullptr; child != nullptr && *child; ++child)
        paths.push_back(std::string("/org/ayatana/NotificationItem/") + (*child)->path);
    if (node != nullptr)
        g_dbus_node_info_unref(node);
    g_variant_unref(reply);
    return paths;
}

std::string ItemProperty(GDBusConnection* bus, const std::string& path, const char* name)
{
    GVariant* reply = CallAndWait(bus, g_dbus_connection_get_unique_name(bus), path.c_str(),
                                  "org.freedesktop.DBus.Properties", "Get",
                                  g_variant_new("(ss)", "org.kde.StatusNotifierItem", name));
    if (reply == nullptr)
        return {};
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    const std::string text = g_variant_get_string(value, nullptr);
    g_variant_unref(value);
    g_variant_unref(reply);
    return text;
}
} // namespace

TEST(xTrayIconPosix, TheItemOnTheBusActsAsTheWindowsIconDoes)
{
    SKIP_WITHOUT_DESKTOP();
    xAppWindow app(nullptr);
    RecordingListener listener;
    app.SetListener(&listener);
    xNativeWindow* window = app.CreateNativeWindow(WindowDescription{});
    ASSERT_NE(window->Handle(), nullptr);
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    ASSERT_NE(bus, nullptr);
    xTrayIcon tray;
    ASSERT_TRUE(tray.Add(*window, 1134, 128, u"霜石纪元"));
    // Before any notification server runs: a log line, and nothing waits for one.
    CapturedLog log;
    tray.ShowBalloon(u"霜石纪元", u"无人接收");
    EXPECT_TRUE(
        PumpUntil([&] { return !log.MessagesStartingWith("The notification was not shown").empty(); }));
    NotificationServer server;

    ASSERT_TRUE(PumpUntil([&] { return ItemPaths(bus).size() == 1; }));
    const std::string item = ItemPaths(bus)[0];
    EXPECT_EQ("霜石纪元", ItemProperty(bus, item, "Title"));
    EXPECT_EQ("Active", ItemProperty(bus, item, "Status"));
    const std::string icon = ItemProperty(bus, item, "IconName");
    EXPECT_TRUE(std::filesystem::is_regular_file(icon)) << "the program's own picture: " << icon;

    // The menu's first entry, clicked through the menu's own protocol, is the left click.
    const std::string menu = ItemProperty(bus, item, "Menu");
    GVariant* layout =
        CallAndWait(bus, g_dbus_connection_get_unique_name(bus), menu.c_str(), "com.canonical.dbusmenu",
                    "GetLayout", g_variant_new("(iias)", 0, -1, nullptr));
    ASSERT_NE(layout, nullptr);
    GVariant* first = nullptr;
    g_variant_get(layout, "(u(ia{sv}@av))", nullptr, nullptr, nullptr, &first);
    ASSERT_GE(g_variant_n_children(first), 1u);
    GVariant* entry = g_variant_get_variant(g_variant_get_child_value(first, 0));
    int32_t entryId = 0;
    g_variant_get(entry, "(ia{sv}av)", &entryId, nullptr, nullptr);
    g_variant_unref(CallAndWait(bus, g_dbus_connection_get_unique_name(bus), menu.c_str(),
                                "com.canonical.dbusmenu", "Event",
                                g_variant_new("(isvu)", entryId, "clicked", g_variant_new_int32(0), 0u)));
    ASSERT_TRUE(PumpUntil([&] { return !listener.Messages.empty(); }));
    EXPECT_EQ(1134u, listener.Messages[0].Message);
    EXPECT_EQ(tray.Identifier(), listener.Messages[0].WParam);
    EXPECT_EQ(0x0201, listener.Messages[0].LParam);

    tray.ShowBalloon(u"霜石纪元", u"微端窗口已隐藏");
    ASSERT_TRUE(PumpUntil([&] { return !server.Received.empty(); }));
    EXPECT_EQ("霜石纪元|霜石纪元|微端窗口已隐藏|" + icon, server.Received[0]);

    tray.Remove();
    EXPECT_TRUE(PumpUntil([&] { return ItemPaths(bus).empty(); })) << "the item leaves the bus";
    EXPECT_FALSE(std::filesystem::exists(icon));
    g_object_unref(bus);
}
