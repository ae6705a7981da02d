#include "Posix/Desktop.h"

#include "xMessageBox.h"
#include "xTextConversion.h"

// The boxes are real windows on the test's display: found by their caption and
// answered from the keyboard, their answer is the function's result.
TEST(xMessageBoxPosix, TheAnswerOnTheScreenIsTheResult)
{
    SKIP_WITHOUT_DESKTOP();
    struct Case
    {
        xMessageBoxFunction Show;
        const char* Keys;
        bool Expected;
    };
    const Case cases[] = {
        {ShowErrorMessageBox, "Return", true},
        {ShowConfirmMessageBox, "Return", false}, // Cancel is the default
        {ShowConfirmMessageBox, "Escape", false},
        {ShowConfirmMessageBox, "alt+o", true},
    };
    int row = 0;
    for (const Case& box : cases)
    {
        const std::string caption = "LauncherBox" + std::to_string(row++);
        // The keys through XTest, as a player types them, once the box has the focus.
        DesktopCommand answer("sh -c \"xdotool search --sync --name '^" + caption +
                              "$' windowfocus --sync && xdotool key " + box.Keys + "\"");
        EXPECT_EQ(box.Expected, box.Show(u"确定退出微端吗？", Utf8ToWide(caption.c_str()))) << caption;
        EXPECT_EQ(0, answer.Join()) << caption << ": no such window was answered";
    }
}
