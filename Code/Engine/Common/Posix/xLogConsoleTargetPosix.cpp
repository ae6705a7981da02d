#include "xLogConsoleTarget.h"

#include <cstdio>

struct xLogConsoleTarget::Console
{
    FILE* Stream = nullptr;
    // A colour escape is in effect and has not been reset yet.
    bool Coloured = false;
};

namespace
{
// Console colours carry blue in bit 0 and red in bit 2; the ANSI palette has them
// the other way round. Bit 3 selects the bright half of the palette.
int AnsiColourCode(int consoleColour, bool background)
{
    const int rgb =
        ((consoleColour & 4) ? 1 : 0) | ((consoleColour & 2) ? 2 : 0) | ((consoleColour & 1) ? 4 : 0);
    const bool bright = (consoleColour & 8) != 0;
    if (background)
        return (bright ? 100 : 40) + rgb;
    return (bright ? 90 : 30) + rgb;
}

bool IsDefaultIndex(int index)
{
    return index < ColourBlack || index > ColourWhite;
}

void Reset(FILE* stream)
{
    std::fputs("\x1b[0m", stream);
}
} // namespace

xLogConsoleTarget::xLogConsoleTarget()
    : xLogTarget(u"WispEngine Console"), Output(std::make_unique<Console>())
{
    // There is no console window to allocate; the terminal the process runs in
    // takes its place. Standard error, because it is unbuffered and stays free of
    // a tool's regular output.
    Output->Stream = stderr;
}

xLogConsoleTarget::~xLogConsoleTarget() = default;

void xLogConsoleTarget::SetColour(int foregroundIndex, int backgroundIndex)
{
    // The default indices map to the terminal's own colours rather than forcing
    // white on black, which would be unreadable patches on a light terminal.
    if (IsDefaultIndex(foregroundIndex) && IsDefaultIndex(backgroundIndex))
    {
        if (Output->Coloured)
            Reset(Output->Stream);
        Output->Coloured = false;
        return;
    }
    const int foreground = IsDefaultIndex(foregroundIndex)
                               ? 39
                               : AnsiColourCode(ConsoleColourFromIndex(foregroundIndex, 0), false);
    const int background = IsDefaultIndex(backgroundIndex)
                               ? 49
                               : AnsiColourCode(ConsoleColourFromIndex(backgroundIndex, 0), true);
    std::fprintf(Output->Stream, "\x1b[%d;%dm", foreground, background);
    Output->Coloured = true;
}

void xLogConsoleTarget::WriteText(const xString& text)
{
    if (text.IsEmpty())
        return;
    // Reset before a line feed: terminals with background-colour erase would
    // otherwise paint the next line in this line's background.
    if (Output->Coloured && text.Last() == '\n')
    {
        std::fwrite(text.c_str(), 1, text.Length() - 1, Output->Stream);
        Reset(Output->Stream);
        Output->Coloured = false;
        std::fputc('\n', Output->Stream);
        return;
    }
    std::fwrite(text.c_str(), 1, text.Length(), Output->Stream);
}
