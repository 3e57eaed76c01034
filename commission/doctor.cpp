#include "commission/doctor.h"

#include <cstring>

#include "commission/socket_wire.h"
#include "protocol/messages.h"

typedef std::array<unsigned char, IPV4_LEN> Address;

static uint32_t hostOrder(const unsigned char* a)
{
    return ((uint32_t)a[0] << 24) | ((uint32_t)a[1] << 16) | ((uint32_t)a[2] << 8) | a[3];
}

static void toBytes(uint32_t value, unsigned char* a)
{
    a[0] = (unsigned char)(value >> 24);
    a[1] = (unsigned char)(value >> 16);
    a[2] = (unsigned char)(value >> 8);
    a[3] = (unsigned char)value;
}

// The prefix length of a mask, or -1 when it is no prefix.
static int prefixOfMask(const unsigned char* mask)
{
    uint32_t m = hostOrder(mask);
    int prefix = 0;
    while (prefix < 32 && (m & (0x80000000U >> prefix)) != 0) {
        ++prefix;
    }
    uint32_t whole = prefix == 0 ? 0 : 0xFFFFFFFFU << (32 - prefix);
    return m == whole ? prefix : -1;
}

static uint32_t maskOf(int prefix)
{
    return prefix <= 0 ? 0 : 0xFFFFFFFFU << (32 - prefix);
}

bool freeAddressIn(const unsigned char* ip, const unsigned char* mask, const std::vector<Address>& taken,
                   unsigned char* address)
{
    int prefix = prefixOfMask(mask);
    if (prefix < 0 || prefix > 30) {
        return false;   // no prefix, or no room for a second host
    }
    uint32_t m = maskOf(prefix);
    uint32_t network = hostOrder(ip) & m;
    uint32_t broadcast = network | ~m;
    auto isFree = [&taken](uint32_t candidate) {
        for (const Address& t : taken) {
            if (hostOrder(t.data()) == candidate) {
                return false;
            }
        }
        return true;
    };
    const uint32_t TOP_GAP = 5;   // .250 of a /24: clear of the addresses routers often take at the top
    uint32_t start = broadcast - network > TOP_GAP ? broadcast - TOP_GAP : network;
    for (uint32_t candidate = start; candidate > network; --candidate) {
        if (isFree(candidate)) {
            toBytes(candidate, address);
            return true;
        }
    }
    for (uint32_t candidate = start + 1; candidate < broadcast; ++candidate) {
        if (isFree(candidate)) {
            toBytes(candidate, address);
            return true;
        }
    }
    return false;
}

static bool sameAddress(const unsigned char* a, const unsigned char* b)
{
    return memcmp(a, b, IPV4_LEN) == 0;
}

// The details of the interface holding this address; NULL when none does.
static const InterfaceDetail* detailOf(const ComputerFacts& facts, const unsigned char* address)
{
    for (const InterfaceDetail& d : facts.interfaces) {
        if (sameAddress(d.one.address, address)) {
            return &d;
        }
    }
    return NULL;
}

// True when an address of the interface of one is among the chosen.
static bool isChosen(const ComputerFacts& facts, const LocalInterface& one)
{
    for (const LocalInterface& c : facts.chosen) {
        if (sameAddress(c.address, one.address) || (c.name[0] != '\0' && strcmp(c.name, one.name) == 0)) {
            return true;
        }
    }
    return false;
}

static Finding about(FindingKind kind, const ComputerFacts& facts, const LocalInterface& one)
{
    Finding f;
    f.kind = kind;
    f.hasLocal = true;
    const InterfaceDetail* d = detailOf(facts, one.address);
    if (d != NULL) {
        f.local = *d;
    } else {
        f.local.one = one;
        f.local.prefix = -1;
    }
    return f;
}

static Fix fixOn(FixKind kind, const LocalInterface& on)
{
    Fix fix;
    fix.kind = kind;
    fix.on = on;
    return fix;
}

static void addInterfaces(const ComputerFacts& facts, std::vector<Finding>* out)
{
    for (const InterfaceDetail& d : facts.interfaces) {
        Finding f = about(FINDING_INTERFACE, facts, d.one);
        f.chosen = isChosen(facts, d.one);
        if (f.chosen && !d.multicast && !d.one.loopback) {   // loopback delivers the group without the flag
            f.severity = SEVERITY_PROBLEM;
            f.fix = fixOn(FIX_MULTICAST_ON, d.one);
        }
        out->push_back(f);
    }
}

static void addRoute(const ComputerFacts& facts, std::vector<Finding>* out)
{
    Finding f;
    f.kind = FINDING_ROUTE;
    f.error = facts.routeError;
    if (facts.routeError == 0) {
        memcpy(f.address, facts.route, IPV4_LEN);
        const InterfaceDetail* d = detailOf(facts, facts.route);
        if (d != NULL) {
            f = about(FINDING_ROUTE, facts, d->one);
            memcpy(f.address, facts.route, IPV4_LEN);
            f.chosen = isChosen(facts, d->one);
        }
    }
    if (!f.chosen) {
        f.severity = SEVERITY_PROBLEM;
        f.fix = fixOn(FIX_GROUP_ROUTE, facts.chosen[0]);
    }
    out->push_back(f);
}

static void addPorts(const ComputerFacts& facts, std::vector<Finding>* out)
{
    for (size_t i = 0; i < facts.chosen.size(); ++i) {
        Finding f = about(FINDING_PORT, facts, facts.chosen[i]);
        f.error = i < facts.bindErrors.size() ? facts.bindErrors[i] : 0;
        if (f.error != 0) {
            f.severity = SEVERITY_PROBLEM;
            f.fix = fixOn(FIX_SHOW_PORT_HOLDER, facts.chosen[i]);
        }
        out->push_back(f);
    }
}

static void addBuffer(const ComputerFacts& facts, std::vector<Finding>* out)
{
    Finding f;
    f.kind = FINDING_BUFFER;
    f.asked = facts.bufferAsked;
    f.count = facts.bufferGranted;
    f.error = facts.bufferError;
    if (facts.bufferGranted < 0) {
        f.severity = SEVERITY_UNKNOWN;
    } else if (facts.bufferGranted < facts.bufferAsked) {
        f.severity = SEVERITY_PROBLEM;
        f.fix.kind = FIX_RECEIVE_BUFFER;
        f.fix.bytes = facts.bufferAsked;
    }
    out->push_back(f);
}

static Severity severityOf(Answer answer, Answer fine)
{
    if (answer == ANSWER_UNKNOWN) {
        return SEVERITY_UNKNOWN;
    }
    return answer == fine ? SEVERITY_OK : SEVERITY_PROBLEM;
}

static void addFirewall(const ComputerFacts& facts, std::vector<Finding>* out)
{
    if (!facts.firewall.asked) {
        return;
    }
    Finding rule;
    rule.kind = FINDING_FIREWALL;
    rule.answer = facts.firewall.inboundAllowed;
    rule.error = rule.answer == ANSWER_UNKNOWN ? facts.firewall.inboundError : 0;
    rule.severity = severityOf(rule.answer, ANSWER_YES);
    if (rule.severity != SEVERITY_OK) {
        rule.fix.kind = FIX_ALLOW_PORT;   // harmless where a rule exists already
    }
    out->push_back(rule);

    Finding profile;
    profile.kind = FINDING_PROFILE;
    profile.answer = facts.firewall.publicProfile;
    profile.error = profile.answer == ANSWER_UNKNOWN ? facts.firewall.profileError : 0;
    profile.severity = severityOf(profile.answer, ANSWER_NO);
    if (profile.severity == SEVERITY_PROBLEM) {
        profile.fix = fixOn(FIX_PRIVATE_PROFILE, facts.chosen[0]);
    }
    out->push_back(profile);
}

static void addScans(const ComputerFacts& facts, const std::vector<JobResult>& scans, std::vector<Finding>* out)
{
    for (size_t i = 0; i < facts.chosen.size() && i < scans.size(); ++i) {
        Finding f = about(FINDING_SCAN, facts, facts.chosen[i]);
        const JobResult& r = scans[i];
        f.count = (long)r.found.size();
        if (r.end == JOB_FAILED) {
            f.failure = r.failure;
        } else if (r.end == JOB_NO_INTERFACE) {
            f.failure = failureOf(FAILED_INTERFACES, NULL, 0);   // gone between the check and the scan
        }
        f.severity = f.count > 0 && f.failure.call == FAILED_NONE ? SEVERITY_OK : SEVERITY_PROBLEM;
        out->push_back(f);
    }
}

// True when address is in the subnet of one of this computer's addresses.
static bool insideLocalSubnet(const ComputerFacts& facts, const unsigned char* address)
{
    for (const InterfaceDetail& d : facts.interfaces) {
        if (d.prefix >= 0 && ((hostOrder(address) ^ hostOrder(d.one.address)) & maskOf(d.prefix)) == 0) {
            return true;
        }
    }
    return false;
}

static void addOutside(const ComputerFacts& facts, const std::vector<JobResult>& scans, std::vector<Finding>* out)
{
    std::vector<Address> taken;   // every controller's IP and gateway, and every local address
    for (const JobResult& r : scans) {
        for (const Sighting& s : r.found) {
            Address a;
            memcpy(a.data(), s.response.ip, IPV4_LEN);
            taken.push_back(a);
            memcpy(a.data(), s.response.gateway, IPV4_LEN);
            taken.push_back(a);
        }
    }
    for (const InterfaceDetail& d : facts.interfaces) {
        Address a;
        memcpy(a.data(), d.one.address, IPV4_LEN);
        taken.push_back(a);
    }
    std::vector<const Sighting*> told;
    for (const JobResult& r : scans) {
        for (const Sighting& s : r.found) {
            bool again = false;
            for (const Sighting* t : told) {
                again = again || memcmp(t->response.mac, s.response.mac, MAC_LEN) == 0;
            }
            if (again || insideLocalSubnet(facts, s.response.ip)) {
                continue;
            }
            told.push_back(&s);
            LocalInterface heard{};
            const InterfaceDetail* d = detailOf(facts, s.local);
            if (d != NULL) {
                heard = d->one;
            } else {
                memcpy(heard.address, s.local, IPV4_LEN);
            }
            Finding f = about(FINDING_OUTSIDE, facts, heard);
            f.severity = SEVERITY_PROBLEM;
            f.controller = s;
            if (freeAddressIn(s.response.ip, s.response.mask, taken, f.fix.address)) {
                f.fix.kind = FIX_ADD_ADDRESS;
                f.fix.on = heard;
                f.fix.prefix = prefixOfMask(s.response.mask);
            }
            out->push_back(f);
        }
    }
}

std::vector<Finding> doctorFindings(const ComputerFacts& facts, const std::vector<JobResult>& scans)
{
    std::vector<Finding> out;
    if (!facts.listed) {
        Finding f;
        f.kind = FINDING_LIST;
        f.severity = SEVERITY_PROBLEM;
        out.push_back(f);
        return out;
    }
    addInterfaces(facts, &out);
    if (facts.choice != CHOSEN || facts.chosen.empty()) {
        Finding f;
        f.kind = FINDING_CHOICE;
        f.severity = SEVERITY_PROBLEM;
        f.choice = facts.choice == CHOSEN ? CHOICE_NONE : facts.choice;
        f.where = facts.where;
        f.candidates = facts.candidates;
        out.push_back(f);
        addBuffer(facts, &out);
        return out;
    }
    addRoute(facts, &out);
    addPorts(facts, &out);
    addBuffer(facts, &out);
    addFirewall(facts, &out);
    addScans(facts, scans, &out);
    addOutside(facts, scans, &out);
    return out;
}

int doctorStatus(const std::vector<Finding>& findings)
{
    bool answered = false;
    for (const Finding& f : findings) {
        if (f.severity != SEVERITY_OK) {
            return EXIT_NOT_FOUND;
        }
        answered = answered || (f.kind == FINDING_SCAN && f.count > 0);
    }
    return answered ? EXIT_OK : EXIT_NOT_FOUND;
}

static const int MAX_DETAILS = 256;

static std::string dotted(const unsigned char* a)
{
    return std::to_string(a[0]) + "." + std::to_string(a[1]) + "." + std::to_string(a[2]) + "." + std::to_string(a[3]);
}

// What the system tells before the scans.
static ComputerFacts askSystem(const std::string& where)
{
    ComputerFacts facts;
    facts.where = where;
    std::vector<InterfaceDetail> details(MAX_DETAILS);
    int count = listInterfaceDetails(details.data(), MAX_DETAILS);
    if (count < 0) {
        facts.listed = false;
        return facts;
    }
    details.resize((size_t)count);
    facts.interfaces = details;
    std::vector<LocalInterface> listed;
    listed.reserve(details.size());
    for (const InterfaceDetail& d : details) {
        listed.push_back(d.one);
    }
    facts.choice = chooseAmong(listed, where.empty() ? "all" : where, &facts.chosen, &facts.candidates);
    facts.routeError = routeToGroup(SCAN_GROUP, SCAN_PORT, facts.route);
    for (const LocalInterface& c : facts.chosen) {
        facts.bindErrors.push_back(tryBind(c.address, SCAN_PORT));
    }
    facts.bufferAsked = SCAN_RECEIVE_BUFFER;
    facts.bufferGranted = grantedReceiveBuffer(SCAN_RECEIVE_BUFFER, &facts.bufferError);
    facts.firewall = firewallFacts(SCAN_PORT);
    return facts;
}

DoctorResult runDoctor(const DoctorOrder& order, const JobSink& sink)
{
    DoctorResult result;
    result.facts = askSystem(order.where);
    if (result.facts.choice == CHOSEN) {
        for (const LocalInterface& c : result.facts.chosen) {
            JobOrder job;
            job.kind = JOB_SCAN;
            job.where = dotted(c.address);
            job.options.scan = order.scan;
            job.stopSignal = order.stopSignal;
            result.scans.push_back(runJob(job, sink));
        }
    }
    result.findings = doctorFindings(result.facts, result.scans);
    result.status = doctorStatus(result.findings);
    return result;
}
