#include "app/assignment.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "app/record_file.h"
#include "report/console.h"
#include "report/response_file.h"

// Longest number text taken from one entry; the literal in NUMBER_FORMAT must match it.
static const int NUMBER_TEXT_LEN = 63;
static const char* const NUMBER_FORMAT = " %63[-+0-9]";

// The controller number, 0 when the input is not a number in the range of the table. The entry is
// taken as "%ld" would take it, but converted by strtol, so an overlong number is refused instead
// of wrapping (or overflowing) into the table's range. The number must end at white space or the
// end of the input: a typo such as "1-2", "1.9" or "2abc" must not pick a controller.
static int readControllerNumber(FILE* in, int responseCount)
{
    char text[NUMBER_TEXT_LEN + 1];
    if (fscanf(in, NUMBER_FORMAT, text) != 1) {
        return 0;
    }
    int next = fgetc(in);
    if (next != EOF && strchr(" \t\n\v\f\r", next) == NULL) {
        return 0;
    }
    char* end = NULL;
    errno = 0;
    long number = strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno == ERANGE || number < 1 || number > responseCount) {
        return 0;
    }
    return (int)number;
}

StepResult runAssignment(RunState& rs, FILE* in, FILE* out)
{
    printControllerTable(out, rs.table);
    fprintf(out, "\nType the number of the Controller which you want to set: ");
    fflush(out);
    rs.c = readControllerNumber(in, rs.table.responseCount);
    if (rs.c == 0) {
        releaseNetwork(rs);   // not shut down first on this path
        fprintf(out, "\nWrong entry!!!\n");
        return STEP_DONE;
    }

    setSettingTarget(rs.bufferSetting, rs.table.ulMacAddr[rs.c - 1]);
    ExchangeFailure failure = sendToGroup(rs.net, rs.bufferSetting, SETTING_LEN);
    if (failure != EXCHANGE_OK) {
        return failNetwork(rs, failure);
    }
    if (rs.fileOutput) {
        writeSetting(rs.file, rs.bufferSetting);
        endRecord(rs);
    }
    dumpSetting(out, rs.bufferSetting);
    closeNetwork(rs);
    return STEP_DONE;
}
