#include "app/interface.h"

#include <cstring>

#include "platform/platform.h"
#include "protocol/messages.h"

bool selectInterface(FILE* in, FILE* out, FILE* err, unsigned char* chosen)
{
    char ac[80];
    unsigned char addrHolder[MAX_INTERFACES][IPV4_LEN];
    in_addr addr;

    if (gethostname(ac, sizeof ac) == SOCKET_ERROR) {
        fprintf(err, "Error %d when getting local host name.\n", WSAGetLastError());
        fflush(err);
        return false;
    }
    ac[sizeof ac - 1] = '\0';
    fprintf(out, "Host name is %s.\n", ac);
    fflush(out);
    fprintf(out, "\n");

    hostent* phe = localHostEntry(ac);
    if (phe == NULL) {
        fprintf(err, "Error : Bad host lookup.\n");
        fflush(err);
        return false;
    }

    int listed = 0;
    for (int i = 0; phe->h_addr_list[i] != NULL; ++i) {
        if (i == MAX_INTERFACES) {
            fprintf(out, "Error : Too many interfaces. The current number of interfaces are more "
                         "than MAX_INTERFACES definition\n");
            return false;
        }
        memcpy(&addr, phe->h_addr_list[i], sizeof addr);
        fprintf(out, "Interface %d: %s\n", i + 1, inet_ntoa(addr));
        fflush(out);
        memcpy(addrHolder[i], &addr, IPV4_LEN);
        listed++;
    }

    fprintf(out, "\nType the number of the address to choose the interface: ");
    fflush(out);
    int c = fgetc(in);
    int choice = (c >= '1' && c <= '9') ? c - '0' : 0;
    if (choice < 1 || choice > listed) {
        fprintf(out, "Error : Invalid entry...\n");
        return false;
    }
    memcpy(chosen, addrHolder[choice - 1], IPV4_LEN);
    return true;
}
