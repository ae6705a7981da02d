#include "CommandLine.h"
#include "DownloadCap.h"
#include "LaunchState.h"
#include "PackageUpdate.h"
#include "ProductProfile.h"

#include "AutoLogin.h"
#include "PublishDir.h"
#include "SelfUpdate.h"

#include "xCommandLine.h"
#include "xLogLine.h"
#include "xStringOps.h"
#include "xSystemPaths.h"

#include <memory>
#include <system_error>
#include <thread>

namespace
{
// Option prefixes; the value starts right after them.
const char16_t AutoLoginKeyOption[] = u"autologinkey=";
const char16_t ForceVersionOption[] = u"forceversion=";
const char16_t ForceArgOption[] = u"forcearg=";
const char16_t MaxRateOption[] = u"maxrate=";
const char16_t VerifyOption[] = u"verify";

// The value after `prefix` when `low` starts with it and something follows, else null.
bool TakeValue(const xWString& argument, const xWString& low, const char16_t* prefix, xWString& value)
{
    const xWString option(prefix);
    if (!StartsWith(low, option) || low.Length() <= option.Length())
        return false;
    // Values keep the case in which they were typed.
    value = SubText(argument, option.Length());
    return true;
}

// The login's update: its version is learned on the worker's thread, and step
// "1002" goes out (from the frame's tick) only once the update begins.
void StartLoginUpdate(const ProductProfile& profile)
{
    PackageUpdateOptions options;
    options.ReportsLoginStep = true;
    StartPackageUpdateFor(xWString(), profile, TheLaunchState, options);
}
} // namespace

xWString NormaliseForcedArgument(const xWString& value)
{
    xWString text = ReplaceAll(value, u"{", u"");
    text = ReplaceAll(text, u"}", u"");
    text = ReplaceAll(text, u"\\", u"");
    text = ReplaceAll(text, u"\"", u"");
    text = ReplaceAll(text, u"&", u",");
    return ReplaceAll(text, u"=", u":");
}

void ParseCommandLine()
{
    ParseCommandLineText(xCommandLine::OfThisProcess(), TheProfile);
}

void ParseCommandLineText(const xWString& commandLine, ProductProfile& profile)
{
    const xCommandLine tokens(commandLine, true);
    if (tokens.ArgumentCount() > 0 && !profile.AcceptArguments(tokens.Arguments()))
    {
        LogErrorLine("Command line args parse error");
        QuitLauncher();
    }

    // Before the loop: a login earlier on the line must already check in full.
    for (const xWString& argument : tokens.Arguments())
    {
        if (EqualsNoCase(argument, xWString(VerifyOption)))
        {
            LogLine("Verify On: the client check reads every file");
            TheLaunchState.Verify = true;
        }
    }

    for (const xWString& argument : tokens.Arguments())
    {
        xWString low = argument;
        ToLowerAscii(low);
        xWString value;
        if (StartsWith(low, xWString(AutoLoginKeyOption)))
        {
            if (!TakeValue(argument, low, AutoLoginKeyOption, value))
                continue;
            LogLine("autologinkey=%s", xString(value).c_str());
            profile.LaunchParam = TranslateAutoLoginKey(value, profile.AutoLoginTranslateUrl());
            LogLine("AutoLoginUrlParam: %s", xString(profile.LaunchParam).c_str());
            if (!profile.LaunchParam.IsEmpty())
            {
                profile.ParseLaunchParam(profile.LaunchParam);
                StartLoginUpdate(profile);
                TheLaunchState.CommandLineHandled = true;
            }
            continue;
        }
        if (low == u"localmode")
        {
            LogLine("LocalMode On");
            TheLaunchState.LocalMode = true;
            continue;
        }
        if (StartsWith(low, xWString(ForceVersionOption)))
        {
            if (TakeValue(argument, low, ForceVersionOption, value))
            {
                TheLaunchState.ForceVersion = value;
                LogLine("ForceVersion=%s", xString(value).c_str());
            }
            continue;
        }
        if (StartsWith(low, xWString(ForceArgOption)))
        {
            if (TakeValue(argument, low, ForceArgOption, value))
            {
                profile.LaunchParam = NormaliseForcedArgument(value);
                LogLine("ForceArg: %s", xString(profile.LaunchParam).c_str());
                profile.ParseLaunchParam(profile.LaunchParam);
                StartLoginUpdate(profile);
            }
            continue;
        }
        if (StartsWith(low, xWString(MaxRateOption)))
        {
            const int64_t kib = ParseDownloadCapLine(xString(low));
            if (kib < 0)
                LogErrorLine("maxrate= takes KiB/s from 0 to %lld; the option is ignored",
                             static_cast<long long>(MostDownloadCapKiB));
            else
                ApplyDownloadCap(kib);
            continue;
        }
        if (low == u"clientinstall")
            TheLaunchState.ClientInstall = true;
    }

    if (TheLaunchState.CommandLineHandled || !profile.SupportsSelfUpdate())
        return;
    RunSelfUpdateStep(tokens, profile);
}

void RunSelfUpdateStep(const xCommandLine& tokens, ProductProfile& profile)
{
    const xString baseUrl = SelfUpdateBaseUrl(profile.LauncherUpdateBaseUrl());
    if (tokens.ArgumentCount() == 0)
    {
        const uint32_t newVersion =
            CheckLauncherVersion(TheUpdateContext(), baseUrl, LauncherVersionNumber());
        if (newVersion == NoNewerLauncher)
            return;
        // One launcher at a time updates itself here; the thread holds the lock
        // until it ends the process.
        std::unique_ptr<xFile> lock =
            TakeSelfUpdateLock(TheUpdateContext(), GetModuleDirectory(), 1, "starting as usual");
        if (!lock)
            return;
        StartSelfUpdate(baseUrl, newVersion, std::move(lock));
        return;
    }
    xWString stage = tokens.Argument(0);
    ToLowerAscii(stage);
    // The stage's second argument is the id of the process that handed over.
    const uint32_t handingOver = ParseProcessIdArgument(tokens.Argument(1));
    if (stage == u"updating")
    {
        if (RunUpdatingStage(TheUpdateContext(), handingOver))
            QuitLauncher();
    }
    else if (stage == u"updated")
        RunUpdatedStage(TheUpdateContext(), handingOver);
}

bool StartSelfUpdate(const xString& baseUrl, uint32_t newVersion, std::unique_ptr<xFile> lock)
{
    try
    {
        std::thread([baseUrl, newVersion, held = std::move(lock)]
                    { SelfUpdateThread(TheUpdateContext(), baseUrl, newVersion); })
            .detach();
    }
    catch (const std::system_error&)
    {
        // The splash-only loop would wait for a download that never comes: this
        // launcher starts as usual instead, and the next start checks again.
        LogErrorLine("Launcher update failed: no thread could be created; the launcher starts as usual");
        return false;
    }
    TheLaunchState.NewLauncherVersion = static_cast<int32_t>(newVersion);
    TheLaunchState.SelfUpdateRunning = true;
    return true;
}
