#include "report/response_file.h"

#include <cstring>

#include "report/console.h"
#include "report/fields.h"

void writeResponse(FILE* file, int n, const unsigned char* sender, const Response& r)
{
    fprintf(file, "\n\n%d. response is received from the IP Address: %d.%d.%d.%d MAC-Address: ", n, sender[0],
            sender[1], sender[2], sender[3]);
    printMac(file, r.mac);
    fprintf(file, "\n\n");
    fprintf(file, "*********************************\n\tReceived Message\n"
                  "*********************************\n\n");
    printResponseFields(file, r, "Number");
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
    Setting s;
    decodeSetting(setting, SETTING_LEN, &s);
    fprintf(file, "\n******************************************************\n"
                  "\tSent Message for setting the Addresses\n"
                  "******************************************************\n\n");
    printSettingFields(file, s);
}

void printFileFailure(FILE* out, const char* name, int error)
{
    fprintf(out, "The response file %s could not be written completely: %s\n", name, strerror(error));
}
