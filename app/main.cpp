#include <cstdio>

#include "app/run.h"

int main(int argc, char** argv)
{
    static RunState rs;
    return runSequence(rs, argc, argv, stdin, stdout, stderr);
}
