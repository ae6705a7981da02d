#include "xLogConsoleTarget.h"

#include <windows.h>

struct xLogConsoleTarget::Console
{
    HANDLE Handle = nullptr;
};

namespace
{
constexpr SHORT ConsoleColumns = 160;
constexpr SHORT ConsoleRows = 4000;

bool IsUsable(HANDLE handle)
{
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}
} // namespace

xLogConsoleTarget::xLogConsoleTarget()
    : xLogTarget(u"WispEngine Console"), Output(std::make_unique<Console>())
{
    // Fails when the process already has a console; the standard output handle
    // is then that console's, which serves as well.
    ::AllocConsole();
    Output->Handle = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (!IsUsable(Output->Handle))
        return;
    // A wide, deep buffer: log lines are long and a whole start-up should stay
    // scrollable.
    ::SetConsoleScreenBufferSize(Output->Handle, COORD{ConsoleColumns, ConsoleRows});
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (::GetConsoleScreenBufferInfo(Output->Handle, &info))
    {
        SMALL_RECT window = info.srWindow;
        window.Right = static_cast<SHORT>(info.dwSize.X - 1);
        ::SetConsoleWindowInfo(Output->Handle, TRUE, &window);
    }
    ::SetWindowPos(::GetConsoleWindow(), nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOSENDCHANGING);
}

xLogConsoleTarget::~xLogConsoleTarget() = default;

void xLogConsoleTarget::SetColour(int foregroundIndex, int backgroundIndex)
{
    ::SetConsoleTextAttribute(Output->Handle, ConsoleAttribute(foregroundIndex, backgroundIndex));
}

void xLogConsoleTarget::WriteText(const xString& text)
{
    DWORD written = 0;
    ::WriteConsoleA(Output->Handle, text.c_str(), static_cast<DWORD>(text.Length()), &written, nullptr);
}
