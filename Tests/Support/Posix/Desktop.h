#pragma once

#include <gio/gio.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

// The window tests' desktop (scripts/lib/peers.sh peers_desktop: Xvfb, a
// compositing manager, a session bus). The tests skip without it.
#define SKIP_WITHOUT_DESKTOP()                                                                               \
    if (std::getenv("DISPLAY") == nullptr || std::getenv("DBUS_SESSION_BUS_ADDRESS") == nullptr)             \
    GTEST_SKIP() << "no desktop (scripts/lib/peers.sh peers_desktop starts one)"

// Runs the main loop's pending work until `done` holds or the time is up; the result is `done`'s.
template <typename Done> bool PumpUntil(Done done, int milliseconds = 10000)
{
    for (int waited = 0; waited < milliseconds; waited += 10)
    {
        while (g_main_context_iteration(nullptr, FALSE))
        {
        }
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

// A D-Bus call answered while the main loop runs (the callee may be this
// process); null on an error or no answer.
inline GVariant* CallAndWait(GDBusConnection* bus, const char* name, const char* path, const char* interface,
                             const char* method, GVariant* parameters)
{
    struct Reply
    {
        GVariant* Value = nullptr;
        bool Done = false;
    } reply;
    g_dbus_connection_call(
        bus, name, path, interface, method, parameters, nullptr, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data)
        {
            auto* answer = static_cast<Reply*>(data);
            answer->Value = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, nullptr);
            answer->Done = true;
        },
        &reply);
    PumpUntil([&] { return reply.Done; });
    return reply.Value;
}

// The command that types `keys` through XTest, as a player types them, into the
// window titled `title` once it is on the screen (a window found before it is
// shown cannot take the focus) and has the focus.
inline std::string TypeIntoWindowCommand(const std::string& title, const std::string& keys)
{
    return "sh -c \"xdotool search --sync --onlyvisible --name '^" + title +
           "$' windowfocus --sync && xdotool key " + keys + "\" >/dev/null";
}

// A command of the desktop's tools (xdotool) on a thread of its own, while the
// test's thread runs a modal loop; its exit status once joined.
class DesktopCommand
{
public:
    explicit DesktopCommand(std::string command)
        : Worker([this, command] { Status = std::system(("timeout 20 " + command).c_str()); })
    {
    }
    int Join()
    {
        if (Worker.joinable())
            Worker.join();
        return Status;
    }
    ~DesktopCommand() { Join(); }

private:
    int Status = -1;
    std::thread Worker;
};
