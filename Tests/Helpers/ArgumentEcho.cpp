// Test child of the process tests. Its first argument names a report file; it
// writes each remaining argument and the folder it runs in, one per line in UTF-8:
//   arg=first
//   arg=second one
//   cwd=/the/folder
// It exits with 7 so that a test can tell that this program, and not a failed
// start, produced the exit code.
#include "xString.h"
#include "xTextConversion.h"

#include <cstdio>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#include <shellapi.h>
#else
#include <unistd.h>
#endif

namespace
{
int WriteReport(FILE* report, const std::vector<xString>& arguments, const xString& folder)
{
    if (report == nullptr)
        return 1;
    for (const xString& argument : arguments)
        fprintf(report, "arg=%s\n", argument.c_str());
    fprintf(report, "cwd=%s\n", folder.c_str());
    fclose(report);
    return 7;
}
} // namespace

#if defined(_WIN32)
// The wide command line, so that arguments outside the ANSI code page arrive whole.
int main()
{
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr || count < 2)
        return 1;
    std::vector<xString> arguments;
    for (int i = 2; i < count; ++i)
        arguments.push_back(WideToUtf8(reinterpret_cast<const char16_t*>(wide[i])));
    wchar_t folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    return WriteReport(_wfopen(wide[1], L"wb"), arguments,
                       WideToUtf8(reinterpret_cast<const char16_t*>(folder)));
}
#else
int main(int argc, char** argv)
{
    char folder[4096] = {};
    if (argc < 2 || getcwd(folder, sizeof folder) == nullptr)
        return 1;
    return WriteReport(fopen(argv[1], "wb"), std::vector<xString>(argv + 2, argv + argc), xString(folder));
}
#endif
