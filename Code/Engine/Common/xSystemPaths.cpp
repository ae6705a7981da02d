#include "xSystemPaths.h"

#include "xPath.h"

namespace
{
xWString ModulePath;
xWString ModuleDirectory;
xWString AppDataDirectory;
xWString WorkingDirectory;
} // namespace

xWString GetModulePath()
{
    if (ModulePath.IsEmpty())
        ModulePath = ToForwardSlashes(QueryModulePath());
    return ModulePath;
}

xWString GetModuleDirectory()
{
    if (ModuleDirectory.IsEmpty())
        ModuleDirectory = NormalisePath(GetParentPath(GetModulePath()));
    return ModuleDirectory;
}

xWString GetAppDataDirectory()
{
    if (AppDataDirectory.IsEmpty())
    {
        const xWString folder = QueryAppDataFolder();
        // AsDirectoryPath would turn an unknown folder into "/", the root.
        if (!folder.IsEmpty())
            AppDataDirectory = NormalisePath(AsDirectoryPath(folder));
    }
    return AppDataDirectory;
}

xWString GetSystemFontDirectory()
{
    const xWString folder = QuerySystemFontFolder();
    return folder.IsEmpty() ? folder : NormalisePath(AsDirectoryPath(folder));
}

bool SetWorkingDirectoryToModule()
{
    const xWString moduleDirectory = GetModuleDirectory();
    if (moduleDirectory.IsEmpty())
        return false;
    const xWString folder = AsDirectoryPath(NormalisePath(moduleDirectory));
    if (!ChangeCurrentDirectory(folder))
        return false;
    WorkingDirectory = folder;
    return true;
}

xWString GetWorkingDirectory()
{
    return WorkingDirectory;
}
