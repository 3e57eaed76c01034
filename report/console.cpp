#include "report/console.h"

#include "report/fields.h"

void dumpRequest(FILE* out, const unsigned char* request)
{
    Request r;
    decodeRequest(request, REQUEST_LEN, &r);
    fprintf(out, "\n*************************************\n\tSent Request Message\n"
                 "*************************************\n\n");
    printRequestFields(out, r);
}

void dumpResponse(FILE* out, int n, const unsigned char* sender, const Response& r)
{
    fprintf(out, "\n\n%d. response is received from the \nIP Address: %d.%d.%d.%d \nMAC-Address: ", n, sender[0],
            sender[1], sender[2], sender[3]);
    printMac(out, r.mac);
    fprintf(out, "\n\n");
    fprintf(out, "********************************\n\tReceived Message\n"
                 "********************************\n\n");
    printResponseFields(out, r, "Nummer");
}

void dumpSetting(FILE* out, const unsigned char* setting)
{
    Setting s;
    decodeSetting(setting, SETTING_LEN, &s);
    fprintf(out, "\n********************************************\n\tSent Address Setting Message\n"
                 "********************************************\n\n");
    printSettingFields(out, s);
}

void printLeftOutNotice(FILE* out)
{
    fprintf(out, "\nMore than %d controllers answered: further responses are left out.\n", MAX_CONTROLLERS);
}

void printCount(FILE* out, int responseCount)
{
    if (responseCount == 0) {
        fprintf(out, "\nThere are no online controllers.\n\n");
    } else if (responseCount == 1) {
        fprintf(out, "\nThere is only 1 online controller.\n\n");
    } else {
        fprintf(out, "\nThere are %d online controllers.\n\n", responseCount);
    }
}

void printControllerTable(FILE* out, const ControllerTable& t)
{
    fprintf(out, "**********************************************************************\n"
                 "\t\t     Table of Online Controllers\n"
                 "**********************************************************************\n\n"
                 "Controller Number \t Controller IP-Address \t Controller Mac-Number\n\n");
    for (int k = 0; k < t.responseCount; ++k) {
        const unsigned char* ip = t.ulIpAddr[k];
        fprintf(out, "\t%d\t\t %d.%d.%d.%d\t\t ", k + 1, ip[0], ip[1], ip[2], ip[3]);
        printMac(out, t.ulMacAddr[k]);
        fprintf(out, "\n");
    }
}

const char* exchangeFailureMessage(ExchangeFailure failure)
{
    switch (failure) {
    case FAIL_SOCKET:
        return "An error has been occurred during the creation of a datagram window socket!!!\n";
    case FAIL_BIND:
        return "An error has been occurred during the association of the source socket's address with the socket!!!\n";
    case FAIL_TTL:
        return "An error has been occurred during setting the Time to Live of the multicast!!!\n";
    case FAIL_SEND:
        return "An error has been occurred during sending the message!!!\n";
    case FAIL_RECEIVE:
        return "An error has been occurred during receiving the message!!!\n";
    case EXCHANGE_OK:
        break;
    }
    return "";
}
