#include <cstdio>

#include "app/run.h"
#include "platform/platform.h"

int main(int argc, char** argv)
{
    reserveStandardFiles();   // before anything opens a file
    showUtf8OnConsole();
    static RunState rs;
    return runSequence(rs, argc, argv, stdin, stdout, stderr);
}
