#include "commission/failure.h"

#include <cstring>

Failure noFailure()
{
    Failure f;
    memset(&f, 0, sizeof f);
    f.call = FAILED_NONE;
    return f;
}

Failure failureOf(FailedCall call, const unsigned char* local, int error)
{
    Failure f = noFailure();
    f.call = call;
    f.error = error;
    f.hasLocal = local != NULL;
    if (local != NULL) {
        memcpy(f.local, local, IPV4_LEN);
    }
    return f;
}

FailedCall callOf(ExchangeFailure failure)
{
    switch (failure) {
    case FAIL_SOCKET:
        return FAILED_SOCKET;
    case FAIL_BIND:
        return FAILED_BIND;
    case FAIL_TTL:
        return FAILED_TTL;
    case FAIL_SEND:
        return FAILED_SEND;
    case FAIL_RECEIVE:
        return FAILED_RECEIVE;
    case EXCHANGE_OK:
        break;
    }
    return FAILED_NONE;
}
