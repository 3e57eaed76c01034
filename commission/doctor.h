// The check of this computer before a scan: every interface, the route the group's datagrams
// take, the scan port, the receive buffer, on Windows the firewall and the network's profile,
// then one scan on each interface checked and the controllers outside every local subnet. Each
// finding is a value with its severity and, for a problem, its fix as data; report/ words them.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "commission/job.h"
#include "platform/computer.h"

enum FindingKind {
    FINDING_LIST,        // the interfaces can't be listed
    FINDING_INTERFACE,   // one local address: its interface's details; chosen: checked
    FINDING_CHOICE,      // no interface to check: choice, where, candidates
    FINDING_ROUTE,       // where the group's datagrams leave: address (local: its interface), chosen; error
    FINDING_PORT,        // the scan port on local: error when it can't be bound
    FINDING_BUFFER,      // the receive buffer: count bytes granted of asked; error
    FINDING_FIREWALL,    // Windows: an inbound rule for UDP to the port (answer, error)
    FINDING_PROFILE,     // Windows: the network's profile is Public (answer, error)
    FINDING_SCAN,        // the scan on local: count controllers; failure
    FINDING_OUTSIDE,     // a controller outside every subnet of this computer, heard on local
};

enum Severity { SEVERITY_OK, SEVERITY_PROBLEM, SEVERITY_UNKNOWN };

// What to do about a problem, as data; report/ gives the command for this system.
enum FixKind {
    FIX_NONE,
    FIX_ADD_ADDRESS,        // give interface on address/prefix
    FIX_ALLOW_PORT,         // the firewall rule for inbound UDP to the port
    FIX_PRIVATE_PROFILE,    // make the network of interface on Private
    FIX_RECEIVE_BUFFER,     // let sockets have bytes of receive buffer
    FIX_SHOW_PORT_HOLDER,   // find the program that holds the port
    FIX_GROUP_ROUTE,        // send the group's datagrams by interface on
    FIX_MULTICAST_ON,       // let interface on take multicast
};

struct Fix {
    FixKind kind = FIX_NONE;
    LocalInterface on{};
    unsigned char address[IPV4_LEN] = {0, 0, 0, 0};
    int prefix = 0;
    int bytes = 0;
};

struct Finding {
    FindingKind kind = FINDING_LIST;
    Severity severity = SEVERITY_OK;
    bool hasLocal = false;
    InterfaceDetail local{};                          // the interface concerned, when hasLocal
    bool chosen = false;                              // INTERFACE, ROUTE: among those checked
    unsigned char address[IPV4_LEN] = {0, 0, 0, 0};   // ROUTE: the address it leaves from
    long error = 0;                                   // the error number, or the HRESULT (FIREWALL, PROFILE)
    Answer answer = ANSWER_UNKNOWN;                   // FIREWALL, PROFILE
    long count = 0;                                   // SCAN: controllers; BUFFER: bytes granted
    long asked = 0;                                   // BUFFER: bytes asked
    Failure failure = noFailure();                    // SCAN
    Choice choice = CHOSEN;                           // CHOICE
    std::string where;                                // CHOICE: --interface as given
    std::vector<LocalInterface> candidates;           // CHOICE
    Sighting controller{};                            // OUTSIDE
    Fix fix;
};

// What the system told, before any scan.
struct ComputerFacts {
    bool listed = true;   // false: the interfaces can't be listed
    std::vector<InterfaceDetail> interfaces;
    std::string where;   // --interface; empty checks them all
    Choice choice = CHOSEN;
    std::vector<LocalInterface> chosen;
    std::vector<LocalInterface> candidates;
    int routeError = 0;
    unsigned char route[IPV4_LEN] = {0, 0, 0, 0};
    std::vector<int> bindErrors;   // one a chosen address: 0 when the port can be bound
    int bufferAsked = 0;
    int bufferGranted = 0;   // -1: couldn't tell, bufferError says why
    int bufferError = 0;
    FirewallFacts firewall{};
};

// The findings from the facts and one scan a chosen address (scans[i] on facts.chosen[i]), in
// this order: the interfaces, the choice, the route, the ports, the buffer, the firewall and the
// profile, the scans, then the controllers outside every local subnet.
std::vector<Finding> doctorFindings(const ComputerFacts& facts, const std::vector<JobResult>& scans);

// 0 (EXIT_OK) when every finding is fine and at least one controller answered, else 1.
int doctorStatus(const std::vector<Finding>& findings);

// A host address in the subnet of ip and mask that none of taken holds (the check takes every
// controller's IP and gateway and every local address), from the top down (.250
// of a /24 first, then down, then the few above it); false when there is none, or the mask is no
// prefix.
bool freeAddressIn(const unsigned char* ip, const unsigned char* mask,
                   const std::vector<std::array<unsigned char, IPV4_LEN>>& taken, unsigned char* address);

struct DoctorOrder {
    std::string where;   // --interface; empty: every interface a scan with 'all' would take
    ScanOptions scan;
    std::function<int()> stopSignal;   // optional, as for a job: the signal that stops the scans
};

struct DoctorResult {
    ComputerFacts facts;
    std::vector<JobResult> scans;
    std::vector<Finding> findings;
    int status = 1;
};

// Asks the system, scans once on each interface chosen, and decides.
DoctorResult runDoctor(const DoctorOrder& order, const JobSink& sink);
