#include "protocol/assignment.h"

#include "protocol/dump.h"
#include "report/response_file.h"

void printControllerTable(FILE* out, const RunState& rs)
{
    fprintf(out, "**********************************************************************\n"
                 "\t\t     Table of Online Controllers\n"
                 "**********************************************************************\n\n"
                 "Controller Number \t Controller IP-Address \t Controller Mac-Number\n\n");
    for (int k = 0; k < rs.responseCount; ++k) {
        const unsigned char* ip = rs.ulIpAddr[k];
        fprintf(out, "\t%d\t\t %d.%d.%d.%d\t\t ", k + 1, ip[0], ip[1], ip[2], ip[3]);
        printMac(out, rs.ulMacAddr[k]);
        fprintf(out, "\n");
    }
}

// The controller number, 0 when the input is not a number in the range of the table.
static int readControllerNumber(FILE* in, int responseCount)
{
    long number;
    // Read as long, so that an overlong number can't wrap into the table's range.
    if (fscanf(in, "%ld", &number) != 1 || number < 1 || number > responseCount) {
        return 0;
    }
    return (int)number;
}

StepResult runAssignment(RunState& rs, FILE* in, FILE* out)
{
    printControllerTable(out, rs);
    fprintf(out, "\nType the number of the Controller which you want to set: ");
    fflush(out);
    rs.c = readControllerNumber(in, rs.responseCount);
    if (rs.c == 0) {
        releaseNetwork(rs);   // not shut down first on this path
        fprintf(out, "\nWrong entry!!!\n");
        return STEP_DONE;
    }

    setSettingTarget(rs.bufferSetting, rs.ulMacAddr[rs.c - 1]);
    if (sendto(rs.sock, (const char*)rs.bufferSetting, SETTING_LEN, MSG_DONTROUTE, (const sockaddr*)&rs.dest_sin,
               sizeof rs.dest_sin) == SOCKET_ERROR) {
        return failNetwork(rs, MSG_SEND);
    }
    dumpSetting(out, rs.bufferSetting);
    if (rs.fileOutput) {
        writeSetting(rs.file, rs.bufferSetting);
    }
    closeNetwork(rs);
    return STEP_DONE;
}
