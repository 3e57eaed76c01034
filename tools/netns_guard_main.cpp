// brevindor-netns-guard: the guard of tools/netns_guard.h for scripts, whose own check (in
// tools/netns_guard.sh) can't look into another namespace. Exits 0 inside a private network
// namespace, else 1 with the reason on standard error.
#include <cstdio>

#include "tools/netns_guard.h"

int main()
{
    char why[256];
    if (!inPrivateNetns(why, sizeof why)) {
        fprintf(stderr, "%s\n", why);
        return 1;
    }
    return 0;
}
