#include "GameView.h"

#include "xNativeWindow.h"
#include "Posix/xProcessPosix.h"

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <X11/Xlib.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

// The view is an X11 child window of the frame's window, made through GDK; its
// X11 id is the number the game receives where Windows passes the HWND. The
// game speaks to it in client messages sent to that id:
//   message_type  the atom "_LAUNCHER_GAME_MESSAGE", format 32
//   data.l[0]     GameMsgMainWindow, GameMsgCloseFrame or GameMsgCanClose
//   data.l[1..2]  the handle's low and high 32-bit words (GameMsgMainWindow:
//                 the game's main window; 0 for the others)
// Sent with an empty event mask, they reach the view's creator, this process,
// whose GDK event filter hands them to the listener. The close request is the
// WM_DELETE_WINDOW client message a window manager sends.

namespace
{
// The game's view size until the frame's first tick places it.
constexpr int ViewWidth = 1366;
constexpr int ViewHeight = 768;
const char MessageAtom[] = "_LAUNCHER_GAME_MESSAGE";
const char ViewVariable[] = "LAUNCHER_GAME_VIEW";
const char RunnerVariable[] = "LAUNCHER_GAME_RUNNER";

struct ViewWindow
{
    GdkWindow* Window = nullptr;
    xNativeWindow* Frame = nullptr;
    GameViewListener* Listener = nullptr;
    Atom MessageType = 0;
    // Where the view was last put, relative to the frame: the frame's tick
    // places it again each time, and X needs a request only for a change.
    GdkRectangle Placed{};
};

Display* DisplayOf(GdkWindow* window)
{
    return gdk_x11_display_get_xdisplay(gdk_window_get_display(window));
}

// The default display's connection, or null without one.
Display* DefaultXDisplay()
{
    GdkDisplay* display = gdk_display_get_default();
    if (display == nullptr || !GDK_IS_X11_DISPLAY(display))
        return nullptr;
    return gdk_x11_display_get_xdisplay(display);
}

GdkFilterReturn OnViewEvent(GdkXEvent* native, GdkEvent*, gpointer data)
{
    const XEvent& event = *static_cast<XEvent*>(native);
    if (event.type != ClientMessage || event.xclient.format != 32)
        return GDK_FILTER_CONTINUE;
    auto& view = *static_cast<ViewWindow*>(data);
    if (event.xclient.message_type != view.MessageType)
        return GDK_FILTER_CONTINUE;
    const auto message = static_cast<uint32_t>(event.xclient.data.l[0]);
    const uint64_t handle = (static_cast<uint64_t>(event.xclient.data.l[2] & 0xFFFFFFFF) << 32) |
                            static_cast<uint64_t>(event.xclient.data.l[1] & 0xFFFFFFFF);
    if (message == GameMsgMainWindow)
        view.Listener->OnGameMainWindow(handle);
    else if (message == GameMsgCloseFrame)
        view.Listener->OnGameCloseFrame();
    else if (message == GameMsgCanClose)
        view.Listener->OnGameCanClose();
    return GDK_FILTER_REMOVE;
}

// Black until the game draws (opaque also on a 32-bit visual).
void PaintBlackUnderneath(GdkWindow* window)
{
    const unsigned long black =
        gdk_visual_get_depth(gdk_window_get_visual(window)) == 32 ? 0xFF000000ul : 0ul;
    XSetWindowBackground(DisplayOf(window), gdk_x11_window_get_xid(window), black);
}

GdkWindow* CreateViewWindow(xNativeWindow& frame, xWindowPoint origin)
{
    if (frame.Handle() == nullptr)
        return nullptr;
    GdkWindow* parent = gtk_widget_get_window(GTK_WIDGET(frame.Handle()));
    if (parent == nullptr || !GDK_IS_X11_WINDOW(parent))
        return nullptr;
    const xWindowRect outer = frame.ScreenRect();
    GdkWindowAttr attributes{};
    attributes.window_type = GDK_WINDOW_CHILD;
    attributes.wclass = GDK_INPUT_OUTPUT;
    attributes.x = origin.X - outer.Left;
    attributes.y = origin.Y - outer.Top;
    attributes.width = ViewWidth;
    attributes.height = ViewHeight;
    attributes.title = const_cast<gchar*>("3dWin");
    GdkWindow* window = gdk_window_new(parent, &attributes, GDK_WA_X | GDK_WA_Y | GDK_WA_TITLE);
    // A real X window, or the game would have no id to make its window in.
    if (window == nullptr || !gdk_window_ensure_native(window))
    {
        if (window != nullptr)
            gdk_window_destroy(window);
        return nullptr;
    }
    PaintBlackUnderneath(window);
    return window;
}

// `name` as the PATH finds it (a name with a slash stands as it is); empty when nowhere.
std::string FindOnPath(const std::string& name)
{
    if (name.find('/') != std::string::npos)
        return name;
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    for (size_t start = 0; start <= folders.size();)
    {
        size_t end = folders.find(':', start);
        if (end == std::string::npos)
            end = folders.size();
        const std::string folder = end > start ? folders.substr(start, end - start) : ".";
        const std::string candidate = folder + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return std::string();
}
} // namespace

GameView::GameView(xNativeWindow& frame, xWindowPoint origin, GameViewListener& listener)
{
    GdkWindow* window = CreateViewWindow(frame, origin);
    if (window == nullptr)
        return;
    auto* view =
        new ViewWindow{window, &frame, &listener, XInternAtom(DisplayOf(window), MessageAtom, False), {}};
    gdk_window_get_geometry(window, &view->Placed.x, &view->Placed.y, &view->Placed.width,
                            &view->Placed.height);
    gdk_window_add_filter(window, OnViewEvent, view);
    Handle = view;
}

GameView::~GameView()
{
    auto* view = static_cast<ViewWindow*>(Handle);
    if (view == nullptr)
        return;
    // Messages still queued for the view must not reach a frame that is gone.
    gdk_window_remove_filter(view->Window, OnViewEvent, view);
    gdk_window_destroy(view->Window);
    delete view;
}

uint64_t GameView::HandleValue() const
{
    const auto* view = static_cast<const ViewWindow*>(Handle);
    return view != nullptr ? static_cast<uint64_t>(gdk_x11_window_get_xid(view->Window)) : 0;
}

void GameView::Place(const xWindowRect& screenRect)
{
    auto* view = static_cast<ViewWindow*>(Handle);
    if (view == nullptr)
        return;
    const xWindowRect outer = view->Frame->ScreenRect();
    const GdkRectangle place{screenRect.Left - outer.Left, screenRect.Top - outer.Top,
                             std::max(screenRect.Right - screenRect.Left, 1),
                             std::max(screenRect.Bottom - screenRect.Top, 1)};
    if (gdk_rectangle_equal(&place, &view->Placed))
        return;
    view->Placed = place;
    gdk_window_move_resize(view->Window, place.x, place.y, place.width, place.height);
}

void GameView::Show()
{
    if (Handle != nullptr)
        gdk_window_show(static_cast<ViewWindow*>(Handle)->Window);
}

void GameView::Hide()
{
    if (Handle != nullptr)
        gdk_window_hide(static_cast<ViewWindow*>(Handle)->Window);
}

xProcessHandle GameView::StartGame(const xWString& program, const xWString& arguments) const
{
    // The client's files are written without modes (its manifest has none), so
    // the game itself becomes executable for its owner here.
    struct stat status
    {
    };
    const xString path(program);
    if (stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && (status.st_mode & S_IXUSR) == 0)
        chmod(path.c_str(), (status.st_mode & 07777) | S_IXUSR);
    // For a game that gets its runner's command line rather than ours.
    if (HandleValue() == 0)
        return StartProcess(program, arguments, xWString(), nullptr);
    return StartProcessWithVariable(program, arguments, ViewVariable, std::to_string(HandleValue()));
}

bool IsGameWindowAlive(uint64_t handle)
{
    Display* display = DefaultXDisplay();
    if (display == nullptr || handle == 0)
        return false;
    // A window that is gone answers BadWindow, which the trap swallows.
    GdkDisplay* gdk = gdk_display_get_default();
    gdk_x11_display_error_trap_push(gdk);
    XWindowAttributes attributes;
    const Status found = XGetWindowAttributes(display, static_cast<Window>(handle), &attributes);
    const bool failed = gdk_x11_display_error_trap_pop(gdk) != 0;
    return found != 0 && !failed;
}

void AskGameWindowToClose(uint64_t handle)
{
    Display* display = DefaultXDisplay();
    if (display == nullptr || handle == 0)
        return;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = static_cast<Window>(handle);
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    GdkDisplay* gdk = gdk_display_get_default();
    gdk_x11_display_error_trap_push(gdk);
    XSendEvent(display, static_cast<Window>(handle), False, NoEventMask, &event);
    XFlush(display);
    gdk_x11_display_error_trap_pop_ignored(gdk);
}

xWString GameRunner()
{
    const char* runner = std::getenv(RunnerVariable);
    if (runner == nullptr || *runner == '\0')
        return xWString();
    // A runner not found stays as named: its start then fails with the launcher's log line.
    const std::string found = FindOnPath(runner);
    return xWString(xString(found.empty() ? runner : found.c_str()));
}
