#include "xHardwareDetection.h"

#include "xPlatformTime.h"
#include "xStringOps.h"
#include "xTextConversion.h"

#include <cstring>
#include <vector>

namespace
{
// Values from winnt.h, so that the naming rules need no system header.
constexpr uint8_t VerNtWorkstation = 1;
constexpr uint16_t VerSuiteEnterprise = 0x0002;
constexpr uint16_t VerSuiteDatacenter = 0x0080;
constexpr uint16_t VerSuitePersonal = 0x0200;
constexpr uint16_t VerSuiteStorageServer = 0x2000;
constexpr uint16_t VerSuiteWhServer = 0x8000;
constexpr uint32_t ErrorCallNotImplemented = 120;

void NameWindows5(const xWindowsVersionFacts& facts, xWindowsVersionName& result)
{
    const bool workstation = facts.ProductType == VerNtWorkstation;
    const auto has = [&](uint16_t suite) { return (facts.SuiteMask & suite) != 0; };
    switch (facts.Minor)
    {
    case 0:
        result.Name = u"Windows 2000";
        if (workstation)
            result.Edition = u"Professional";
        else if (has(VerSuiteDatacenter))
            result.Edition = u"Datacenter Server";
        else if (has(VerSuiteEnterprise))
            result.Edition = u"Advanced Server";
        else
            result.Edition = u"Server";
        break;
    case 1:
        result.Name = u"Windows XP";
        result.Edition = has(VerSuitePersonal) ? u"Home Edition" : u"Professional";
        break;
    case 2:
        if (facts.ServerR2)
            result.Name = u"Windows Server 2003 R2";
        else if (has(VerSuiteStorageServer))
            result.Name = u"Windows Storage Server 2003";
        else if (has(VerSuiteWhServer))
            result.Name = u"Windows Home Server";
        else if (workstation && facts.X64Processor)
        {
            result.Name = u"Windows XP";
            result.Edition = u"Professional x64 Edition";
        }
        else
            result.Name = u"Windows Server 2003";
        break;
    default:
        break;
    }
}

// GetVersionExW says 6.2 to every program without a compatibility manifest, so
// the 6.x names are chosen by the kernel's own version.
void NameWindows6(const xWindowsVersionFacts& facts, xWindowsVersionName& result)
{
    struct Row
    {
        uint32_t Major, Minor;
        const char16_t* Workstation;
        const char16_t* Server;
    };
    static const Row rows[] = {
        {10, 0, u"Windows 10", u"Windows Server Technical Preview"},
        {6, 3, u"Windows 8.1", u"Windows Server 2012 R2"},
        {6, 2, u"Windows 8", u"Windows Server 2012"},
        {6, 1, u"Windows 7", u"Windows Server 2008 R2"},
        {6, 0, u"Windows Vista", u"Windows Server 2008"},
    };
    for (const Row& row : rows)
    {
        if (KernelVersionAtLeast(facts, row.Major, row.Minor))
        {
            result.Name = facts.ServerSystem ? row.Server : row.Workstation;
            result.Edition = facts.ProductInfoAvailable ? EditionForProductType(facts.ProductInfoType)
                                                        : xWString(u"(type unknown)");
            return;
        }
    }
}

// Everything from the first of `stops` on, e.g. ".UTF-8" and "@euro".
xString CutAtAny(const xString& text, const char* stops)
{
    size_t length = 0;
    while (length < text.Length() && std::strchr(stops, text[length]) == nullptr)
        ++length;
    return SubText(text, 0, length);
}
} // namespace

bool KernelVersionAtLeast(const xWindowsVersionFacts& facts, uint32_t major, uint32_t minor)
{
    if (!facts.KernelVersionKnown)
        return false;
    return facts.KernelMajor > major || (facts.KernelMajor == major && facts.KernelMinor >= minor);
}

xWindowsVersionName NameWindowsVersion(const xWindowsVersionFacts& facts)
{
    xWindowsVersionName result;
    if (!facts.VersionRead)
        return result;
    if (facts.Major == 5)
        NameWindows5(facts, result);
    else if (facts.Major == 6)
        NameWindows6(facts, result);
    else
        result.Edition = facts.ServicePack;
    return result;
}

xWString EditionForProductType(uint32_t productType)
{
    // PRODUCT_* values from winnt.h.
    switch (productType)
    {
    case 1:
        return u"Ultimate Edition";
    case 2:
        return u"Home Basic Edition";
    case 3:
        return u"Home Premium Edition";
    case 4:
    case 10:
        return u"Enterprise Edition";
    case 6:
        return u"Business Edition";
    case 7:
        return u"Standard Edition";
    case 8:
        return u"Datacenter Edition";
    case 9:
        return u"Small Business Server";
    case 11:
        return u"Starter Edition";
    case 12:
        return u"Datacenter Edition (core installation)";
    case 13:
        return u"Standard Edition (core installation)";
    case 14:
        return u"Enterprise Edition (core installation)";
    case 15:
        return u"Enterprise Edition for Itanium-based Systems";
    case 17:
        return u"Web Server Edition";
    case 18:
        return u"Cluster Server Edition";
    case 25:
        return u"Small Business Server Premium Edition";
    case 48:
        return u"Professional";
    default:
        return {};
    }
}

bool Is64BitFromWow64Probe(const xWow64Probe& probe)
{
    if (!probe.FunctionFound)
        return false;
    return probe.CallSucceeded || probe.Error != ErrorCallNotImplemented;
}

xWString JoinLanguageAndCountry(const xWString& language, const xWString& country)
{
    if (language.IsEmpty() || country.IsEmpty())
        return {};
    return language + u"-" + country;
}

xWString LanguageFromLocaleName(const xString& localeName)
{
    const xString name = CutAtAny(localeName, ".@");
    const ptrdiff_t underscore = FindText(name, "_");
    if (underscore < 0)
        return {};
    const xString language = SubText(name, 0, static_cast<size_t>(underscore));
    const xString country = SubText(name, static_cast<size_t>(underscore) + 1);
    return JoinLanguageAndCountry(Utf8ToWide(language), Utf8ToWide(country));
}

int BitnessForMachine(const xString& machine)
{
    return FindText(machine, "64") >= 0 || machine == "s390x" ? 64 : 32;
}

xString OsReleaseValue(const xString& text, const char* key)
{
    std::vector<xString> lines;
    SplitText(text, "\n", lines);
    const xString prefix = xString(key) + "=";
    for (const xString& line : lines)
    {
        if (!StartsWith(line, prefix))
            continue;
        const xString raw = SubText(line, prefix.Length());
        const char quote = raw.IsEmpty() ? 0 : raw[0];
        if (quote != '"' && quote != '\'')
            return raw;
        xString value;
        for (size_t i = 1; i < raw.Length() && raw[i] != quote; ++i)
        {
            if (quote == '"' && raw[i] == '\\' && i + 1 < raw.Length())
                ++i;
            value += raw[i];
        }
        return value;
    }
    return {};
}

void RunHardwareDetection(xHardwareInfo* info)
{
    if (info == nullptr)
        return;
    ScopedTimer whole("HardwareDetect");
    info->Family = DetectSystemFamily();
    {
        ScopedTimer step("GetWindowsInfo");
        xWindowsVersionName version = DetectSystemVersion();
        info->VersionName = version.Name;
        info->Edition = version.Edition;
        info->Bitness = DetectSystem64Bit() ? 64 : 32;
    }
    {
        ScopedTimer step("GetOSLang");
        info->SystemLanguage = DetectSystemLanguage();
    }
    info->DetectionDone.store(1, std::memory_order_release);
}
