#include "Shortcuts.h"

#include "EngineText.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <fstream>

namespace
{
struct LinkFields
{
    std::wstring Path, Description, Icon;
    int IconIndex = -1;
};

// What the shell reads back from a saved link.
LinkFields ReadLink(const std::filesystem::path& file)
{
    LinkFields fields;
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))))
        return fields;
    IPersistFile* persist = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))))
    {
        if (SUCCEEDED(persist->Load(file.wstring().c_str(), STGM_READ)))
        {
            wchar_t text[MAX_PATH] = {};
            if (link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH) == S_OK)
                fields.Path = text;
            if (SUCCEEDED(link->GetDescription(text, MAX_PATH)))
                fields.Description = text;
            if (SUCCEEDED(link->GetIconLocation(text, MAX_PATH, &fields.IconIndex)))
                fields.Icon = text;
        }
        persist->Release();
    }
    link->Release();
    return fields;
}
} // namespace

TEST(Shortcuts, HomePageLinkCarriesDescriptionAndIcon)
{
    CoInitialize(nullptr);
    TempFolder folder;
    // ASCII: Wine keeps a link's target in the ANSI code page only.
    const std::filesystem::path target = folder.At("game folder/qtmx.exe").make_preferred();
    std::filesystem::create_directories(target.parent_path());
    std::ofstream(target) << "MZ";
    std::ofstream(folder.At("game.ico")) << "icon";

    // The launcher's "/" paths reach the shell with "\".
    const std::filesystem::path web = folder.At("(官网).lnk");
    ASSERT_TRUE(SaveShellLink(Wide(web), Wide(target), u"(官网)", Wide(folder.At("game.ico"))));
    const LinkFields described = ReadLink(web);
    EXPECT_EQ(described.Path, target.wstring());
    EXPECT_EQ(described.Description, L"(官网)");
    EXPECT_EQ(described.Icon, folder.At("game.ico").wstring());
    EXPECT_EQ(described.IconIndex, 0);
}
