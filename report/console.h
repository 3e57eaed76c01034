// The console's texts of the scan: the dumps of the messages sent and received, the count, the
// table of controllers and the network failures.
#pragma once

#include <cstdio>

#include "protocol/controller_table.h"
#include "protocol/decode.h"
#include "protocol/exchange.h"

// The sent request, from its bytes.
void dumpRequest(FILE* out, const unsigned char* request);
// Response n from the sender address.
void dumpResponse(FILE* out, int n, const unsigned char* sender, const Response& r);
// The sent setting, from its bytes.
void dumpSetting(FILE* out, const unsigned char* setting);

// Once, when the table is full and a further answer comes.
void printLeftOutNotice(FILE* out);
// The count line.
void printCount(FILE* out, int responseCount);
// The table of online controllers.
void printControllerTable(FILE* out, const ControllerTable& t);

// The line that ends the run after a failure of the exchange.
const char* exchangeFailureMessage(ExchangeFailure failure);
