#include "ClientCommand.h"

#include "PackageProgress.h"

#include "xStringOps.h"

ClientCommand ReadClientCommand(const std::vector<xWString>& arguments)
{
    ClientCommand command;
    if (arguments.empty())
        return command;
    command.Command = arguments[0];
    if (arguments.size() == 2)
        command.Parameter = arguments[1];
    xWString low = command.Command;
    ToLowerAscii(low);
    command.IsLogin = low == u"login";
    return command;
}

const char* LoginRefusal(bool gameRunning, int32_t updateState)
{
    if (gameRunning)
        return "the game is running";
    if (updateState == PackageUpdateStarted || updateState == PackageUpdateDownloading ||
        updateState == PackageUpdateChecking)
        return "the client update is running";
    return nullptr;
}

MainFrameAction ChooseMainFrameAction(const xString& buttonId)
{
    if (EqualsNoCase(buttonId, "close"))
        return MainFrameAction::ConfirmExit;
    if (EqualsNoCase(buttonId, "min"))
        return MainFrameAction::Minimize;
    if (EqualsNoCase(buttonId, "clear"))
        return MainFrameAction::CleanCache;
    return MainFrameAction::OpenLink;
}
