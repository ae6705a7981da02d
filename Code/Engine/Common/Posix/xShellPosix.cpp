#include "xShell.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

void OpenWebPage(const xWString& url)
{
    // xdg-open hands the page to the desktop's browser and returns; it is reaped
    // here so no zombie is left behind.
    const xString address(url);
    char program[] = "xdg-open";
    char* arguments[] = {program, const_cast<char*>(address.c_str()), nullptr};
    pid_t child = 0;
    if (posix_spawnp(&child, program, nullptr, nullptr, arguments, environ) == 0)
        waitpid(child, nullptr, 0);
}
