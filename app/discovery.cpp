#include "app/discovery.h"

#include "app/record_file.h"
#include "report/console.h"
#include "report/response_file.h"

void recordResponse(RunState& rs, long bytes, FILE* out)
{
    bool alreadyLeftOut = rs.table.responsesLeftOut;
    Response r;
    decodeResponse(rs.recvbuf, RECV_LEN, bytes, &r);
    const unsigned char* sender = (const unsigned char*)&rs.net.source_sin.sin_addr;
    if (!recordController(rs.table, sender, r.mac)) {
        if (!alreadyLeftOut) {
            printLeftOutNotice(out);
        }
        return;
    }
    int n = rs.table.responseCount;
    if (rs.fileOutput) {   // in the file before the console shows it
        writeResponse(rs.file, n, rs.table.ulIpAddr[n - 1], r);
        endRecord(rs);
    }
    dumpResponse(out, n, rs.table.ulIpAddr[n - 1], r);
}

StepResult runDiscovery(RunState& rs, FILE* out)
{
    ExchangeFailure failure = openExchange(rs.net, rs.localAddr, rs.iOptVal);
    if (failure == EXCHANGE_OK) {
        failure = sendToGroup(rs.net, rs.bufferRequest, REQUEST_LEN);
    }
    if (failure != EXCHANGE_OK) {
        return failNetwork(rs, failure);
    }
    dumpRequest(out, rs.bufferRequest);
    fprintf(out, "\n\nWaiting for the response...\n");
    fflush(out);

    rs.table.responseCount = 0;
    for (;;) {
        int bytes = 0;
        NextResult result = receiveNext(rs.net, rs.t, rs.recvbuf, rs.recvLength, &bytes);
        if (result == NEXT_TIMEOUT) {
            fprintf(out, "Timeout has been exceeded.\n");
            break;
        }
        if (result == NEXT_FAILED) {
            return failNetwork(rs, FAIL_RECEIVE);
        }
        recordResponse(rs, bytes, out);
        fflush(out);
    }

    if (rs.fileOutput) {
        writeCount(rs.file, rs.table.responseCount);
        endRecord(rs);
    }
    printCount(out, rs.table.responseCount);
    if (rs.table.responseCount == 0 || !rs.writeMode) {
        closeNetwork(rs);
        return STEP_DONE;
    }
    return STEP_CONTINUE;
}
