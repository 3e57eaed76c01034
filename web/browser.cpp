#include "web/browser.h"

#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>   // after windows.h
#else
#include <fcntl.h>
#include <spawn.h>

extern char** environ;
#endif

bool openBrowser(const std::string& url)
{
#ifdef _WIN32
    return (INT_PTR)ShellExecuteA(NULL, "open", url.c_str(), NULL, NULL, SW_SHOWNORMAL) > 32;
#else
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    char program[] = "xdg-open";
    std::string copy = url;
    char* argv[] = {program, &copy[0], NULL};
    pid_t pid;
    int failed = posix_spawnp(&pid, program, &actions, NULL, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed == 0;
#endif
}
