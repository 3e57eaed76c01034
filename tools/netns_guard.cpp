#include "tools/netns_guard.h"

#include <linux/net_namespace.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

const int LINK_CAPACITY = 256;
const size_t DUMP_BUFFER = 32768;
const int NO_NSID = -1;       // a link whose peer or lower link is in its own namespace
const int NSID_FAILED = -2;   // the kernel could not be asked
const size_t NSID_ANSWER = 1024;
const size_t REQUEST_ROOM = 64;   // a request's header, fixed part and one attribute

struct Link {
    int index;
    int lower;       // IFLA_LINK: the peer or lower link's index (in its namespace), or 0
    int lowerNsid;   // IFLA_LINK_NETNSID: that link's namespace, as our namespace numbers it, or NO_NSID
    char name[IF_NAMESIZE];
};

bool isOurs(const char* name)
{
    return strncmp(name, PRIVATE_LINK_PREFIX, strlen(PRIVATE_LINK_PREFIX)) == 0;
}

// One link of an RTM_NEWLINK message; false when the message is malformed.
bool readLink(const nlmsghdr* h, Link* link)
{
    if (h->nlmsg_len < NLMSG_LENGTH(sizeof(ifinfomsg))) {
        return false;
    }
    const ifinfomsg* info = static_cast<const ifinfomsg*>(NLMSG_DATA(h));
    memset(link, 0, sizeof *link);
    link->index = info->ifi_index;
    link->lowerNsid = NO_NSID;
    int left = static_cast<int>(h->nlmsg_len - NLMSG_LENGTH(sizeof(ifinfomsg)));
    for (const rtattr* a = IFLA_RTA(info); RTA_OK(a, left); a = RTA_NEXT(a, left)) {
        size_t size = RTA_PAYLOAD(a);
        if (a->rta_type == IFLA_IFNAME && size > 0) {
            size_t n = size < sizeof link->name ? size : sizeof link->name - 1;
            memcpy(link->name, RTA_DATA(a), n);
            link->name[n < sizeof link->name ? n : sizeof link->name - 1] = '\0';
        } else if (a->rta_type == IFLA_LINK && size >= sizeof(int)) {
            memcpy(&link->lower, RTA_DATA(a), sizeof(int));
        } else if (a->rta_type == IFLA_LINK_NETNSID) {
            int nsid = NSID_FAILED;   // an id we can't read leads nowhere we know: refused below
            if (size >= sizeof(int)) {
                memcpy(&nsid, RTA_DATA(a), sizeof(int));
            }
            link->lowerNsid = nsid < 0 ? NSID_FAILED : nsid;
        }
    }
    return link->name[0] != '\0';
}

// Opens a routing socket and sends one request: the header, the message's fixed part (fixedLen
// bytes, all zero: family AF_UNSPEC) and, unless attribute is 0, one attribute holding value.
// The socket, or -1 when it can't be opened or the request sent.
int ask(unsigned short type, unsigned short flags, size_t fixedLen, unsigned short attribute, int value)
{
    alignas(nlmsghdr) char request[REQUEST_ROOM];
    memset(request, 0, sizeof request);
    size_t length = NLMSG_ALIGN(NLMSG_LENGTH(fixedLen));
    if (attribute != 0) {
        rtattr* a = reinterpret_cast<rtattr*>(request + length);
        a->rta_type = attribute;
        a->rta_len = RTA_LENGTH(sizeof value);
        memcpy(RTA_DATA(a), &value, sizeof value);
        length += RTA_ALIGN(a->rta_len);
    }
    nlmsghdr* h = reinterpret_cast<nlmsghdr*>(request);
    h->nlmsg_len = static_cast<unsigned>(length);
    h->nlmsg_type = type;
    h->nlmsg_flags = flags;
    int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0) {
        return -1;
    }
    if (send(fd, request, length, 0) != static_cast<ssize_t>(length)) {
        close(fd);
        return -1;
    }
    return fd;
}

// Every link of a namespace, from the kernel's routing socket: this namespace's when nsid is
// NO_NSID, else the one our namespace numbers nsid. -1 when they can't be listed.
int listLinks(int nsid, Link* links, int capacity)
{
    int fd = ask(RTM_GETLINK, NLM_F_REQUEST | NLM_F_DUMP, sizeof(ifinfomsg), nsid != NO_NSID ? IFLA_TARGET_NETNSID : 0,
                 nsid);
    if (fd < 0) {
        return -1;
    }
    alignas(nlmsghdr) static char buffer[DUMP_BUFFER];
    int count = 0;
    for (;;) {
        ssize_t got = recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) {
            close(fd);
            return -1;
        }
        // The messages of this read, walked by hand: NLMSG_OK mixes signed and unsigned.
        size_t left = static_cast<size_t>(got);
        const char* at = buffer;
        while (left >= sizeof(nlmsghdr)) {
            const nlmsghdr* h = reinterpret_cast<const nlmsghdr*>(at);
            if (h->nlmsg_len < sizeof(nlmsghdr) || h->nlmsg_len > left) {
                close(fd);
                return -1;
            }
            if (h->nlmsg_type == NLMSG_DONE) {
                close(fd);
                return count;
            }
            if (h->nlmsg_type == NLMSG_ERROR || count == capacity) {
                close(fd);
                return -1;   // fails closed
            }
            if (h->nlmsg_type == RTM_NEWLINK) {
                if (!readLink(h, &links[count])) {
                    close(fd);
                    return -1;
                }
                ++count;
            }
            size_t step = NLMSG_ALIGN(h->nlmsg_len);
            if (step >= left) {
                break;
            }
            at += step;
            left -= step;
        }
    }
}

// The number our namespace gives the network namespace of process pid: NO_NSID when it has none,
// NSID_FAILED when the kernel could not be asked.
int nsidOf(pid_t pid)
{
    int fd = ask(RTM_GETNSID, NLM_F_REQUEST, sizeof(rtgenmsg), NETNSA_PID, static_cast<int>(pid));
    if (fd < 0) {
        return NSID_FAILED;
    }
    const size_t head = NLMSG_ALIGN(NLMSG_LENGTH(sizeof(rtgenmsg)));
    alignas(nlmsghdr) char answer[NSID_ANSWER];
    ssize_t got = recv(fd, answer, sizeof answer, 0);
    close(fd);
    const nlmsghdr* h = reinterpret_cast<const nlmsghdr*>(answer);
    if (got < static_cast<ssize_t>(head) || h->nlmsg_len > static_cast<size_t>(got) || h->nlmsg_len < head ||
        h->nlmsg_type != RTM_NEWNSID) {
        return NSID_FAILED;
    }
    int left = static_cast<int>(h->nlmsg_len - head);
    for (const rtattr* a = reinterpret_cast<const rtattr*>(answer + head); RTA_OK(a, left); a = RTA_NEXT(a, left)) {
        if (a->rta_type == NETNSA_NSID && RTA_PAYLOAD(a) >= sizeof(int)) {
            int nsid;
            memcpy(&nsid, RTA_DATA(a), sizeof nsid);
            return nsid < 0 ? NO_NSID : nsid;
        }
    }
    return NSID_FAILED;
}

const Link* findIndex(const Link* links, int count, int index)
{
    for (int i = 0; i < count; ++i) {
        if (links[i].index == index) {
            return &links[i];
        }
    }
    return nullptr;
}

// True when link l of a namespace's links is tied to nothing, or to one of our links there.
bool tiedInside(const Link& l, const Link* links, int count)
{
    if (l.lowerNsid != NO_NSID) {
        return false;
    }
    const Link* lower = l.lower != 0 && l.lower != l.index ? findIndex(links, count, l.lower) : nullptr;
    return l.lower == 0 || l.lower == l.index || (lower != nullptr && isOurs(lower->name));
}

// True when the namespace numbered nsid, where the peer of our link named link lies, was made
// by the same test: it is not the machine's own, and holds only the loopback device and our
// links tied inside it or back to this namespace.
bool peerPrivate(const char* link, int nsid, pid_t machine, char* why, size_t whyLen)
{
    int machineNsid = nsidOf(machine);
    if (machineNsid == NSID_FAILED || nsid < 0) {
        (void)snprintf(why, whyLen, "can't tell where the peer of link %s lies", link);
        return false;
    }
    if (machineNsid == nsid) {
        (void)snprintf(why, whyLen, "link %s leads to the machine's own network namespace", link);
        return false;
    }
    static Link links[LINK_CAPACITY];
    int count = listLinks(nsid, links, LINK_CAPACITY);
    int self = nsidOf(getpid());   // after the listing, which numbers this namespace if it must
    if (count < 0 || self == NSID_FAILED) {
        (void)snprintf(why, whyLen, "can't list the links beyond link %s", link);
        return false;
    }
    for (int i = 0; i < count; ++i) {
        const Link& l = links[i];
        bool back = self != NO_NSID && l.lowerNsid == self;
        if (strcmp(l.name, "lo") != 0 && !(isOurs(l.name) && (back || tiedInside(l, links, count)))) {
            (void)snprintf(why, whyLen, "link %s leads to a namespace whose link %s can reach a real network", link,
                           l.name);
            return false;
        }
    }
    return true;
}

}   // namespace

bool inPrivateNetns(char* why, size_t whyLen, pid_t machine)
{
    static Link links[LINK_CAPACITY];
    int count = listLinks(NO_NSID, links, LINK_CAPACITY);
    if (count < 0) {
        (void)snprintf(why, whyLen, "can't list the network links");
        return false;
    }
    for (int i = 0; i < count; ++i) {
        const Link& l = links[i];
        if (strcmp(l.name, "lo") == 0 || (isOurs(l.name) && tiedInside(l, links, count))) {
            continue;
        }
        char reason[160];
        if (isOurs(l.name) && l.lowerNsid != NO_NSID) {
            if (peerPrivate(l.name, l.lowerNsid, machine, reason, sizeof reason)) {
                continue;
            }
        } else {
            (void)snprintf(reason, sizeof reason, "link %s can reach a real network", l.name);
        }
        (void)snprintf(why, whyLen, "%s: run only inside a private network namespace (unshare -n)", reason);
        return false;
    }
    return true;
}
