#include "SignedVersionFile.h"
#include "LauncherDownload.h"
#include "UpdateSignature.h"

#include "xFile.h"
#include "xLogLine.h"
#include "xProcess.h"

#include <cstdio>
#include <memory>

namespace
{
// The serial file holds one decimal number; anything longer is not one.
constexpr int64_t MaxSerialFileBytes = 64;

xWString AcceptedSerialPath(const UpdateContext& context)
{
    return context.GetDownloadFolder() + xWString(xString(AcceptedSerialFileName));
}

VersionFileAnswer Refuse(const xString& name, VersionFileVerdict verdict, const char* why)
{
    LogErrorLine("Version file %s refused: %s; nothing is taken from it", name.c_str(), why);
    VersionFileAnswer answer;
    answer.Verdict = verdict;
    return answer;
}

// The stamp's verdict: the expiry first (an expired file says nothing about
// order), then the serial against the highest accepted.
VersionFileAnswer JudgeStamp(const UpdateContext& context, const xString& name, VersionFileKind kind,
                             const VersionStamp& stamp, int64_t now)
{
    const bool needsSerial = kind == VersionFileKind::ClientVersions;
    if (!stamp.HasExpiry || (needsSerial && !stamp.HasSerial))
        return Refuse(name, VersionFileVerdict::Unstamped,
                      needsSerial ? "its signed stamp (serial and expiry, on its second line) is missing"
                                  : "its signed stamp (expiry, on its second line) is missing");
    char why[160];
    if (now >= stamp.Expires)
    {
        std::snprintf(why, sizeof why, "it expired at %s (the clock says %s)",
                      FormatUtcTime(stamp.Expires).c_str(), FormatUtcTime(now).c_str());
        return Refuse(name, VersionFileVerdict::Expired, why);
    }
    VersionFileAnswer answer;
    answer.Verdict = VersionFileVerdict::Taken;
    answer.Stamp = stamp;
    if (!needsSerial)
        return answer;
    const uint64_t accepted = LoadAcceptedSerial(context);
    if (stamp.Serial < accepted)
    {
        std::snprintf(why, sizeof why, "serial %llu is older than serial %llu accepted before",
                      static_cast<unsigned long long>(stamp.Serial),
                      static_cast<unsigned long long>(accepted));
        return Refuse(name, VersionFileVerdict::Replayed, why);
    }
    if (stamp.Serial > accepted && !RaiseAcceptedSerial(context, stamp.Serial))
        LogErrorLine("Version file serial %llu could not be remembered in %s",
                     static_cast<unsigned long long>(stamp.Serial), AcceptedSerialFileName);
    return answer;
}
} // namespace

VersionFileAnswer FetchVersionFile(const UpdateContext& context, const xString& url, VersionFileKind kind,
                                   int64_t now)
{
    VersionFileAnswer answer;
    if (!GetUpdateVerifier().IsOn())
    {
        FetchText(url, answer.Line);
        answer.Verdict = answer.Line.IsEmpty() ? VersionFileVerdict::Unanswered : VersionFileVerdict::Taken;
        return answer;
    }
    xString text, name;
    if (!FetchVerifiedText(url, text) || !GetUrlFileName(url, name))
        return answer;
    VersionStamp stamp;
    if (!ParseVersionStamp(SecondTextLine(text), stamp))
        return Refuse(name, VersionFileVerdict::Unstamped, "its stamp line is malformed");
    answer = JudgeStamp(context, name, kind, stamp, now);
    if (answer.Verdict == VersionFileVerdict::Taken)
        answer.Line = FirstTextLine(reinterpret_cast<const uint8_t*>(text.c_str()), text.Length());
    return answer;
}

uint64_t LoadAcceptedSerial(const UpdateContext& context)
{
    const xEngineFileSystem& files = context.Files;
    const xWString path = AcceptedSerialPath(context);
    const int64_t size = files.GetFileSize(path);
    if (size <= 0 || size > MaxSerialFileBytes)
        return 0;
    std::unique_ptr<xFile> file = files.OpenRead(path, true);
    char bytes[MaxSerialFileBytes + 1] = {};
    if (!file || !file->Read(bytes, size))
        return 0;
    uint64_t serial = 0;
    if (!ParseSerialNumber(FirstTextLine(reinterpret_cast<const uint8_t*>(bytes), static_cast<size_t>(size)),
                           serial))
        return 0;
    return serial;
}

bool RaiseAcceptedSerial(const UpdateContext& context, uint64_t serial)
{
    if (LoadAcceptedSerial(context) >= serial)
        return true;
    const xWString path = AcceptedSerialPath(context);
    // A name of this process's own: two launchers beside each other never
    // write one temporary file together.
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%u.td", static_cast<unsigned>(CurrentProcessId()));
    char text[32];
    const int length = std::snprintf(text, sizeof text, "%llu\n", static_cast<unsigned long long>(serial));
    return context.Files.WriteThroughTemporary(path, path + xWString(xString(suffix)), text, length, true);
}
