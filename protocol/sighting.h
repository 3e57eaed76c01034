// One controller as a scan saw it, keyed by its MAC: a controller that answers several times is
// one sighting with the latest answer and the number of answers.
#pragma once

#include "protocol/decode.h"

struct Sighting {
    Response response;                // the latest answer
    unsigned char sender[IPV4_LEN];   // where the latest answer came from
    unsigned char local[IPV4_LEN];    // the local address that received the first answer
    int answers;
};
