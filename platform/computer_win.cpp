#include "platform/platform.h"   // first: Winsock 1.1 before windows.h

#include <windows.h>

#include <netfw.h>
#include <oleauto.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "platform/computer.h"

int routeToGroup(const char* group, int port, unsigned char* local)
{
    SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s == INVALID_SOCKET) {
        return WSAGetLastError();
    }
    sockaddr_in to;
    memset(&to, 0, sizeof to);
    to.sin_family = AF_INET;
    to.sin_port = htons((unsigned short)port);
    to.sin_addr.s_addr = inet_addr(group);
    int error = 0;
    sockaddr_in own;
    memset(&own, 0, sizeof own);
    int length = (int)sizeof own;
    if (connect(s, (const sockaddr*)&to, sizeof to) == SOCKET_ERROR ||
        getsockname(s, (sockaddr*)&own, &length) == SOCKET_ERROR) {
        error = WSAGetLastError();
    } else {
        memcpy(local, &own.sin_addr, 4);
    }
    closesocket(s);
    return error;
}

int tryBind(const unsigned char* address, int port)
{
    SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s == INVALID_SOCKET) {
        return WSAGetLastError();
    }
    sockaddr_in at;
    memset(&at, 0, sizeof at);
    at.sin_family = AF_INET;
    at.sin_port = htons((unsigned short)port);
    memcpy(&at.sin_addr, address, 4);
    int error = bind(s, (const sockaddr*)&at, sizeof at) == SOCKET_ERROR ? WSAGetLastError() : 0;
    closesocket(s);
    return error;
}

int grantedReceiveBuffer(int bytes, int* error)
{
    SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s == INVALID_SOCKET) {
        *error = WSAGetLastError();
        return -1;
    }
    int granted = -1;
    int length = (int)sizeof granted;
    if (!setReceiveBuffer(s, bytes)) {
        *error = WSAGetLastError();
    } else if (getsockopt(s, SOL_SOCKET, SO_RCVBUF, (char*)&granted, &length) == SOCKET_ERROR) {
        *error = WSAGetLastError();
        granted = -1;
    }
    closesocket(s);
    return granted;
}

// The firewall's classes, named here as not every MinGW library defines them.
static const CLSID POLICY_CLASS = {0xe2b3c97f, 0x6ae1, 0x41ac, {0x81, 0x7a, 0xf6, 0xf9, 0x21, 0x66, 0xd7, 0xdd}};
static const IID POLICY_INTERFACE = {0x98325047, 0xc671, 0x4174, {0x8d, 0x81, 0xde, 0xfc, 0xd3, 0xf0, 0x31, 0x86}};
static const IID RULE_INTERFACE = {0xaf230d27, 0xbaba, 0x4e42, {0xac, 0xed, 0xf5, 0x24, 0xf2, 0x2c, 0xfc, 0xe2}};

const LONG PROTOCOL_UDP = 17;
const LONG PROTOCOL_ANY = 256;

// True when a rule's LocalPorts ("*", "20662", "20000-21000", lists of them) takes port.
static bool portsTake(const wchar_t* ports, int port)
{
    if (ports == NULL) {
        return false;
    }
    const wchar_t* at = ports;
    while (*at != L'\0') {
        while (*at == L' ' || *at == L',') {
            ++at;
        }
        if (*at == L'*') {
            return true;
        }
        wchar_t* end = NULL;
        long low = wcstol(at, &end, 10);
        if (end == at) {
            at += wcscspn(at, L",");   // a keyword such as RPC: not a port of ours
            continue;
        }
        long high = low;
        if (*end == L'-') {
            const wchar_t* from = end + 1;
            high = wcstol(from, &end, 10);
            if (end == from) {
                high = low;
            }
        }
        if (port >= low && port <= high) {
            return true;
        }
        at = end;
        at += wcscspn(at, L",");
    }
    return false;
}

// True when the rule is for every program or for this one.
static bool forThisProgram(INetFwRule* rule)
{
    BSTR application = NULL;
    if (FAILED(rule->get_ApplicationName(&application)) || application == NULL || application[0] == L'\0') {
        SysFreeString(application);
        return true;
    }
    wchar_t own[MAX_PATH];
    DWORD n = GetModuleFileNameW(NULL, own, MAX_PATH);
    bool same = n > 0 && n < MAX_PATH && _wcsicmp(own, application) == 0;
    SysFreeString(application);
    return same;
}

// True when the rule lets inbound UDP to port through in one of the profiles.
static bool ruleAllows(INetFwRule* rule, int port, long profiles)
{
    NET_FW_RULE_DIRECTION direction = NET_FW_RULE_DIR_OUT;
    NET_FW_ACTION action = NET_FW_ACTION_BLOCK;
    VARIANT_BOOL enabled = VARIANT_FALSE;
    LONG protocol = 0;
    long ruleProfiles = 0;
    BSTR ports = NULL;
    if (FAILED(rule->get_Direction(&direction)) || FAILED(rule->get_Action(&action)) ||
        FAILED(rule->get_Enabled(&enabled)) || FAILED(rule->get_Protocol(&protocol)) ||
        FAILED(rule->get_Profiles(&ruleProfiles))) {
        return false;
    }
    if (direction != NET_FW_RULE_DIR_IN || action != NET_FW_ACTION_ALLOW || enabled == VARIANT_FALSE ||
        (protocol != PROTOCOL_UDP && protocol != PROTOCOL_ANY) || (ruleProfiles & profiles) == 0) {
        return false;
    }
    bool takes = protocol == PROTOCOL_ANY;
    if (!takes && SUCCEEDED(rule->get_LocalPorts(&ports))) {
        takes = portsTake(ports, port);
    }
    SysFreeString(ports);
    return takes && forThisProgram(rule);
}

// Whether an enabled inbound rule lets UDP to port through; hr gets the failure that left it
// untold.
static Answer anyRuleAllows(INetFwPolicy2* policy, int port, long profiles, HRESULT* hr)
{
    INetFwRules* rules = NULL;
    *hr = policy->get_Rules(&rules);
    if (FAILED(*hr) || rules == NULL) {
        return ANSWER_UNKNOWN;
    }
    IUnknown* all = NULL;
    IEnumVARIANT* each = NULL;
    *hr = rules->get__NewEnum(&all);
    if (SUCCEEDED(*hr) && all != NULL) {
        *hr = all->QueryInterface(IID_IEnumVARIANT, (void**)&each);
    }
    Answer answer = ANSWER_UNKNOWN;
    if (SUCCEEDED(*hr) && each != NULL) {
        answer = ANSWER_NO;
        VARIANT item;
        VariantInit(&item);
        ULONG got = 0;
        while (answer == ANSWER_NO && each->Next(1, &item, &got) == S_OK && got == 1) {
            INetFwRule* rule = NULL;
            if (item.vt == VT_DISPATCH && item.pdispVal != NULL &&
                SUCCEEDED(item.pdispVal->QueryInterface(RULE_INTERFACE, (void**)&rule)) && rule != NULL) {
                if (ruleAllows(rule, port, profiles)) {
                    answer = ANSWER_YES;
                }
                rule->Release();
            }
            VariantClear(&item);
        }
        each->Release();
    }
    if (all != NULL) {
        all->Release();
    }
    rules->Release();
    return answer;
}

// Whether the firewall is on for any of the current profiles; hr as above.
static Answer firewallOn(INetFwPolicy2* policy, long profiles, HRESULT* hr)
{
    const NET_FW_PROFILE_TYPE2 each[] = {NET_FW_PROFILE2_DOMAIN, NET_FW_PROFILE2_PRIVATE, NET_FW_PROFILE2_PUBLIC};
    for (NET_FW_PROFILE_TYPE2 profile : each) {
        if ((profiles & profile) == 0) {
            continue;
        }
        VARIANT_BOOL on = VARIANT_TRUE;
        *hr = policy->get_FirewallEnabled(profile, &on);
        if (FAILED(*hr)) {
            return ANSWER_UNKNOWN;
        }
        if (on != VARIANT_FALSE) {
            return ANSWER_YES;
        }
    }
    return ANSWER_NO;
}

FirewallFacts firewallFacts(int port)
{
    FirewallFacts facts;
    memset(&facts, 0, sizeof facts);
    facts.asked = true;
    facts.inboundAllowed = ANSWER_UNKNOWN;
    facts.publicProfile = ANSWER_UNKNOWN;
    HRESULT started = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    if (FAILED(started) && started != RPC_E_CHANGED_MODE) {
        facts.inboundError = facts.profileError = (long)started;
        return facts;
    }
    INetFwPolicy2* policy = NULL;
    HRESULT hr = CoCreateInstance(POLICY_CLASS, NULL, CLSCTX_INPROC_SERVER, POLICY_INTERFACE, (void**)&policy);
    if (FAILED(hr) || policy == NULL) {
        facts.inboundError = facts.profileError = (long)(FAILED(hr) ? hr : E_POINTER);
    } else {
        long profiles = 0;
        hr = policy->get_CurrentProfileTypes(&profiles);
        if (FAILED(hr)) {
            facts.inboundError = facts.profileError = (long)hr;
        } else {
            facts.publicProfile = (profiles & NET_FW_PROFILE2_PUBLIC) != 0 ? ANSWER_YES : ANSWER_NO;
            Answer on = firewallOn(policy, profiles, &hr);
            if (on == ANSWER_NO) {
                facts.inboundAllowed = ANSWER_YES;   // nothing is dropped
            } else if (on == ANSWER_YES) {
                facts.inboundAllowed = anyRuleAllows(policy, port, profiles, &hr);
            }
            if (facts.inboundAllowed == ANSWER_UNKNOWN) {
                facts.inboundError = (long)hr;
            }
        }
        policy->Release();
    }
    if (SUCCEEDED(started)) {
        CoUninitialize();
    }
    return facts;
}
