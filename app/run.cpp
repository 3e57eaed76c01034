#include "app/run.h"

#include "app/assignment.h"
#include "app/discovery.h"
#include "app/interface.h"
#include "app/options.h"
#include "app/record_file.h"
#include "report/console.h"

static void endResponseFile(RunState& rs, FILE* out)
{
    closeResponseFile(rs);
    if (rs.fileError != 0) {
        printFileFailure(out, rs.fileName, rs.fileError);
    }
}

int failurePath(RunState& rs, FILE* out, const char* message)
{
    fprintf(out, "%s", message);
    endResponseFile(rs, out);
    pauseConsole(out);
    return -1;
}

int commonEnd(RunState& rs, FILE* out)
{
    endResponseFile(rs, out);
    pauseConsole(out);
    return -1;
}

int runSequence(RunState& rs, int argc, char** argv, FILE* in, FILE* out, FILE* err)
{
    initRunState(rs);
    fprintf(out, "Brevindor Version 1.08 \n");
    if (argc > 1 && !readOptions(rs, argc, argv, out)) {
        return commonEnd(rs, out);
    }

    if (WSAStartup(WINSOCK_VERSION_1_1, &rs.WSAData) != 0) {
        return failurePath(rs, out, "An error has been occurred during the initialization of Winsock!!!\n");
    }
    if (!selectInterface(in, out, err, rs.localAddr)) {
        return failurePath(rs, out, "An error has been occurred during getting the Local IP addresses!!!\n");
    }

    StepResult step = runDiscovery(rs, out);
    if (step == STEP_CONTINUE) {
        step = runAssignment(rs, in, out);
    }
    if (step == STEP_FAILED) {
        return failurePath(rs, out, exchangeFailureMessage(rs.failure));
    }
    return commonEnd(rs, out);
}
