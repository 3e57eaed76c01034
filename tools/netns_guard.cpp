#include "tools/netns_guard.h"

#include <net/if.h>

#include <cstdio>
#include <cstring>

bool inPrivateNetns(char* why, size_t whyLen)
{
    struct if_nameindex* names = if_nameindex();
    if (names == NULL) {
        (void)snprintf(why, whyLen, "can't list the network interfaces");
        return false;
    }
    bool isPrivate = true;
    for (struct if_nameindex* n = names; n->if_index != 0; ++n) {
        if (strcmp(n->if_name, "lo") == 0 ||
            strncmp(n->if_name, PRIVATE_LINK_PREFIX, strlen(PRIVATE_LINK_PREFIX)) == 0) {
            continue;
        }
        (void)snprintf(why, whyLen,
                       "interface %s can reach a real network: run only inside a private network namespace"
                       " (unshare -n)",
                       n->if_name);
        isPrivate = false;
        break;
    }
    if_freenameindex(names);
    return isPrivate;
}
