#include "protocol/assignment.h"

#include <cerrno>
#include <cstdlib>

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

// Longest number text taken from one entry; the literal in NUMBER_FORMAT must match it.
static const int NUMBER_TEXT_LEN = 63;
static const char* const NUMBER_FORMAT = " %63[-+0-9]";

// The controller number, 0 when the input is not a number in the range of the table. The entry is
// taken as "%ld" would take it, but converted by strtol, so an overlong number is refused instead
// of wrapping (or overflowing) into the table's range.
static int readControllerNumber(FILE* in, int responseCount)
{
    char text[NUMBER_TEXT_LEN + 1];
    if (fscanf(in, NUMBER_FORMAT, text) != 1) {
        return 0;
    }
    char* end = NULL;
    errno = 0;
    long number = strtol(text, &end, 10);
    if (end == text || errno == ERANGE || number < 1 || number > responseCount) {
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
