#include "app/network.h"

void releaseNetwork(RunState& rs)
{
    closeExchange(rs.net);
    WSACleanup();
}

StepResult failNetwork(RunState& rs, ExchangeFailure failure)
{
    if (rs.net.sock != INVALID_SOCKET) {
        releaseNetwork(rs);
    }
    rs.failure = failure;
    return STEP_FAILED;
}

void closeNetwork(RunState& rs)
{
    shutdownExchange(rs.net);
    WSACleanup();
}
