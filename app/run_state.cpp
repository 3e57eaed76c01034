#include "app/run_state.h"

#include <cstring>

void initRunState(RunState& rs)
{
    memset(&rs, 0, sizeof rs);
    rs.recvLength = RECV_LEN;
    rs.iOptVal = MULTICAST_TTL;
    buildRequest(rs.bufferRequest);
    buildSettingHeader(rs.bufferSetting);
    initExchange(rs.net);
    rs.t.tv_sec = DEFAULT_TIMEOUT_SECONDS;
    rs.t.tv_usec = 0;
    rs.fileOutput = false;
    rs.file = NULL;
    rs.fileName = NULL;
    rs.fileError = 0;
    rs.writeMode = false;
    rs.table.responseCount = 0;
    rs.failure = EXCHANGE_OK;
}
