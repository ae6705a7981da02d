#pragma once

#include "xString.h"

#include <cstdint>
#include <vector>

// Everything that differs between the maker's games: titles, folders, server
// addresses, optional steps and a few product-specific operations. Exactly one
// instance, TheProfile, exists for the whole process.
class ProductProfile
{
public:
    virtual ~ProductProfile() = default;

    virtual bool SupportsSelfUpdate() const = 0;
    virtual xWString GameTitle() const = 0;
    virtual xWString ProductCode() const = 0;
    virtual bool AcceptArguments(const std::vector<xWString>& arguments) = 0;
    virtual bool SetLoginString(const xWString& login) = 0;
    virtual xWString GetGameArguments() = 0;
    virtual bool SupportsInstall() const { return true; }
    virtual bool CreatesShortcuts() const { return true; }
    virtual bool CreatesDesktopShortcut() const { return true; }
    virtual bool SupportsCacheCleaning() const { return true; }
    virtual xWString ShortcutName() const { return GameTitle(); }
    virtual xWString WebShortcutName() const { return u"(官网)"; }
    virtual xWString ServerNamePattern() const { return u"双线【$sid】服"; }
    virtual bool OnStartup() { return false; }
    virtual bool ExitWithGameWindow() const { return false; }
    // Every login's check reads every client file whole instead of trusting
    // the verified state (LAUNCHER_VERIFY_EVERY_LOGIN).
    virtual bool VerifiesEveryLogin() const { return false; }
    // Folder under the per-user application-data folder: "/" separators, trailing "/".
    virtual xWString AppDataSubfolder() const { return u"kfcx/"; }
    virtual xWString HomePageUrl() const { return {}; }
    virtual xWString PageAddressSuffix() const { return {}; }
    virtual xString ClientBaseUrl() const = 0;
    virtual xString LauncherUpdateBaseUrl() const { return ClientBaseUrl(); }
    virtual xString AutoLoginTranslateUrl() const { return {}; }
    virtual bool OnBeforeCommandLine() { return false; }
    virtual void OpenLink(const char* linkName) { (void)linkName; }
    // Parses one launch parameter ("key:value" pairs) into the launch values.
    virtual void ParseLaunchParam(const xWString& param);
    // The client is ready: the main frame gives way to the game frame and the
    // game starts (once; later calls change nothing).
    virtual void StartGame();
    // Reports a milestone code to the statistics endpoint, once per process.
    virtual void ReportStep(const char* code);

    // The login's launch parameter, server id and client version.
    xWString LaunchParam;
    xString SidString;
    xString ClientVersion;
};

// The statistics endpoint of the step reports: host, and the port its path lives on.
extern const char* const StatisticsHost;
constexpr uint16_t StatisticsPort = 8001;
// Base URL of package and manifest; the update replaces it with ClientBaseUrl.
extern xString PackageBaseUrl;
// Package files are named from it: Startup<version>.pkg / .crc.
extern const xString PackageNamePrefix;

extern ProductProfile& TheProfile;
