#pragma once

#include "xString.h"

#include <atomic>
#include <cstdint>
#include <map>

// How this process was launched: flags from the command line and the values of
// every launch parameter parsed so far. Written on the main thread during
// start-up and on a login; the flags are atomics because workers read them.
struct LaunchState
{
    // The installed client counts as final; nothing is fetched.
    std::atomic<bool> LocalMode{false};
    // Started by the installer: no taskbar pin, no desktop shortcut.
    std::atomic<bool> ClientInstall{false};
    // The command line's verify: every update of this run reads every client file whole.
    std::atomic<bool> Verify{false};
    // Client version to use instead of the one the server names.
    xWString ForceVersion;
    xString UidString;
    // Every key:value of every parsed launch parameter; the first value of a key
    // stays. Ordered by key (UTF-16 unit order). Never cleared.
    std::map<xWString, xWString> LaunchValues;
    std::atomic<bool> LaunchParamParsed{false};
    // An auto-login key on the command line gave a launch parameter: the
    // command line has done its work and the checks after the options are skipped.
    std::atomic<bool> CommandLineHandled{false};
    std::atomic<bool> SelfUpdateRunning{false};
    std::atomic<int32_t> NewLauncherVersion{-1};

    // Back to the state of a fresh process (tests start each case from it).
    void Clear();
};

extern LaunchState TheLaunchState;
