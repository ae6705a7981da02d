// RWGame, the native demo game: what the launcher starts once the client is up
// to date. It draws into the launcher's game view (an X11 window) and speaks
// the game's side of the three view messages. Usage:
//   RWGame VIEW_WINDOW LOGIN_TEXT [--ignore-close]
//   RWGame --window LOGIN_TEXT [--ignore-close]   (a view of its own, no launcher)
// The first line on stdout says where its window went.
// Exit codes: 0 after a close request or when the view is gone, 2 for bad
// arguments, 1 when there is no display or its window cannot be created.
#include "DemoGameWindow.h"
#include "GameArguments.h"
#include "OwnView.h"

#include <X11/Xlib.h>
#include <cairo.h>

#include <poll.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace
{
constexpr int FrameMilliseconds = 33; // about 30 frames a second

// UTF-8 bytes as code points; a malformed byte stands for itself.
std::wstring Wide(const std::string& bytes)
{
    std::wstring text;
    for (size_t i = 0; i < bytes.size();)
    {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const size_t length = lead < 0x80           ? 1
                              : (lead >> 5) == 0x6  ? 2
                              : (lead >> 4) == 0xE  ? 3
                              : (lead >> 3) == 0x1E ? 4
                                                    : 1;
        if (length == 1 || i + length > bytes.size())
        {
            text += static_cast<wchar_t>(lead);
            ++i;
            continue;
        }
        uint32_t code = lead & (0x7F >> length);
        for (size_t k = 1; k < length; ++k)
            code = (code << 6) | (static_cast<unsigned char>(bytes[i + k]) & 0x3F);
        text += static_cast<wchar_t>(code);
        i += length;
    }
    return text;
}

std::string Narrow(const std::wstring& text)
{
    std::string bytes;
    for (wchar_t c : text)
        bytes += c < 0x80 ? static_cast<char>(c) : '?';
    return bytes;
}

void Complain(const std::string& reason)
{
    std::fprintf(stderr,
                 "RWGame: %s.\nUsage: RWGame VIEW_WINDOW|--window LOGIN_TEXT [--ignore-close]\n"
                 "(VIEW_WINDOW: the game view's X11 window id as an unsigned decimal number)\n",
                 reason.c_str());
}

// Xlib's own handler ends the process; a window gone between two calls is no reason to.
int IgnoreError(Display*, XErrorEvent*)
{
    return 0;
}

double Seconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// The words after the program's name as one line, the way Windows hands the game its command line.
std::wstring CommandLine(int argc, char** argv)
{
    std::wstring line = L"RWGame";
    for (int i = 1; i < argc; ++i)
        line += L" " + Wide(argv[i]);
    return line;
}

int Play(Display* display, Window view, const GameArguments& arguments)
{
    DemoGameWindow game(display, view, arguments.Login, arguments.IgnoreClose);
    if (!game.Create())
    {
        Complain("the game window could not be created");
        return 1;
    }
    std::printf("RWGame: child window in the view (X11 window %lu)\n", game.Handle());
    std::fflush(stdout);
    double last = Seconds();
    for (;;)
    {
        while (XPending(display) > 0)
        {
            XEvent event;
            XNextEvent(display, &event);
            if (arguments.OwnView)
                HandleOwnViewEvent(display, view, event);
            game.HandleEvent(event);
        }
        const double now = Seconds();
        // The game never outlives the launcher: no view, no game.
        if (!game.Frame(now - last))
            return 0;
        last = now;
        const int spent = static_cast<int>((Seconds() - now) * 1000.0);
        pollfd connection{ConnectionNumber(display), POLLIN, 0};
        poll(&connection, 1, spent >= FrameMilliseconds ? 0 : FrameMilliseconds - spent);
    }
}

// The game on an open display: its view (the launcher's, or one of its own), then play.
int Start(Display* display, const GameArguments& arguments)
{
    const Window view =
        arguments.OwnView ? CreateOwnView(display) : static_cast<Window>(arguments.ViewHandle);
    if (arguments.OwnView && view == 0)
    {
        Complain("its own view could not be created");
        return 1;
    }
    if (arguments.ViewHandle > 0xFFFFFFFFu || !WindowExists(display, view))
    {
        Complain("the game view " + std::to_string(arguments.ViewHandle) + " is no window");
        return 2;
    }
    return Play(display, view, arguments);
}
} // namespace

int main(int argc, char** argv)
{
    GameArguments arguments;
    const std::wstring reason = ParseGameCommandLine(CommandLine(argc, argv), arguments);
    if (!reason.empty())
    {
        Complain(Narrow(reason));
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr)
    {
        Complain("no X display to draw on");
        return 1;
    }
    XSetErrorHandler(IgnoreError);
    const int code = Start(display, arguments);
    // Cairo's font caches, freed so a leak checker sees only real leaks.
    cairo_debug_reset_static_data();
    XCloseDisplay(display);
    return code;
}
