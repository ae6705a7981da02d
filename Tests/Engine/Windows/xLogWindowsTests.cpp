#include "xLogConsoleTarget.h"
#include "xLogTypes.h"

#include <gtest/gtest.h>

#include <cstring>

#include <windows.h>

TEST(xLogConsole, AllocatesAWideConsoleAndColoursEachPiece)
{
    ::FreeConsole(); // the launcher is a GUI program without a console of its own
    xLogConsoleTarget console;
    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!::GetConsoleScreenBufferInfo(output, &info))
    {
        console.Write("P ", LogLevel::Error, LogCategory::General, 0, 0, "fails silently\n");
        GTEST_SKIP() << "no console screen to read back (Wine needs a display, e.g. xvfb-run)";
    }
    EXPECT_EQ(160, info.dwSize.X);
    EXPECT_EQ(4000, info.dwSize.Y);
    EXPECT_EQ(159, info.srWindow.Right) << "the window shows the whole buffer width";
    RECT frame{};
    ASSERT_TRUE(::GetWindowRect(::GetConsoleWindow(), &frame));
    EXPECT_TRUE(frame.left == 0 && frame.top == 0) << frame.left << ", " << frame.top;

    console.Write("P ", LogLevel::Error, LogCategory::General, 0, 0, "boom\n");
    console.Write("Q ", LogLevel::Warning, LogCategory::Fs, ColourGreen, ColourDarkBlue, "custom\n");
    console.Write("R ", LogLevel::Log, LogCategory::Phy, 0, 0, "phy\n");
    const WORD expected[3][8] = {{0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C},
                                 {0x0E, 0x0E, 0x1A, 0x1A, 0x1A, 0x1A, 0x1A, 0x1A},
                                 {0x0F, 0x0F, 0x0F, 0x0F, 0x0F}};
    const char* texts[3] = {"P boom", "Q custom", "R phy"};
    for (SHORT row = 0; row < 3; ++row)
    {
        char characters[9] = {};
        WORD attributes[8] = {};
        DWORD read = 0;
        const COORD at{0, static_cast<SHORT>(info.dwCursorPosition.Y + row)};
        const size_t length = std::strlen(texts[row]);
        ::ReadConsoleOutputCharacterA(output, characters, static_cast<DWORD>(length), at, &read);
        ::ReadConsoleOutputAttribute(output, attributes, static_cast<DWORD>(length), at, &read);
        EXPECT_STREQ(texts[row], characters);
        for (size_t i = 0; i < length; ++i)
            EXPECT_EQ(expected[row][i], attributes[i]) << "row " << row << " column " << i;
    }
    ASSERT_TRUE(::GetConsoleScreenBufferInfo(output, &info));
    EXPECT_EQ(0x0F, info.wAttributes) << "reset to white on black after each line";
}
