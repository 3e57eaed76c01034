#include "report/response_file.h"

#include "protocol/discovery.h"
#include "protocol/dump.h"

void writeResponse(FILE* file, int n, const unsigned char* ip, const unsigned char* mac, long bytes,
                   const unsigned char* recvbuf)
{
    fprintf(file, "\n\n%d. response is received from the IP Address: %d.%d.%d.%d MAC-Address: ", n, ip[0], ip[1], ip[2],
            ip[3]);
    printMac(file, mac);
    fprintf(file, "\n\n");
    fprintf(file, "*********************************\n\tReceived Message\n"
                  "*********************************\n\n");
    printResponseFields(file, recvbuf, bytes, "Number");
}

void writeCount(FILE* file, int responseCount)
{
    if (responseCount == 0) {
        fprintf(file, "\nThere are no online controllers.");   // no line ends in the file
    } else {
        printCount(file, responseCount);
    }
}

void writeSetting(FILE* file, const unsigned char* setting)
{
    fprintf(file, "\n******************************************************\n"
                  "\tSent Message for setting the Addresses\n"
                  "******************************************************\n\n");
    printSettingFields(file, setting);
}
