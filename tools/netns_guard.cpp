#include "tools/netns_guard.h"

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

struct Link {
    int index;
    int lower;             // IFLA_LINK: the peer or lower link's index, or 0
    bool lowerElsewhere;   // IFLA_LINK_NETNSID: that link is in another namespace
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
            link->lowerElsewhere = true;
        }
    }
    return link->name[0] != '\0';
}

// Every link of this namespace, from the kernel's routing socket. -1 when they can't be listed.
int listLinks(Link* links, int capacity)
{
    int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0) {
        return -1;
    }
    struct {
        nlmsghdr header;
        ifinfomsg info;
    } request;
    memset(&request, 0, sizeof request);
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = RTM_GETLINK;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.info.ifi_family = AF_UNSPEC;
    if (send(fd, &request, sizeof request, 0) != static_cast<ssize_t>(sizeof request)) {
        close(fd);
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

const Link* findIndex(const Link* links, int count, int index)
{
    for (int i = 0; i < count; ++i) {
        if (links[i].index == index) {
            return &links[i];
        }
    }
    return nullptr;
}

}   // namespace

bool inPrivateNetns(char* why, size_t whyLen)
{
    static Link links[LINK_CAPACITY];
    int count = listLinks(links, LINK_CAPACITY);
    if (count < 0) {
        (void)snprintf(why, whyLen, "can't list the network links");
        return false;
    }
    for (int i = 0; i < count; ++i) {
        const Link& l = links[i];
        if (strcmp(l.name, "lo") == 0) {
            continue;
        }
        const Link* lower = l.lower != 0 && l.lower != l.index ? findIndex(links, count, l.lower) : nullptr;
        // Our own links, such as a veth pair, with whatever they are tied to inside this namespace.
        bool inside = l.lower == 0 || l.lower == l.index || (lower != nullptr && isOurs(lower->name));
        if (isOurs(l.name) && !l.lowerElsewhere && inside) {
            continue;
        }
        (void)snprintf(why, whyLen,
                       "link %s can reach a real network: run only inside a private network namespace"
                       " (unshare -n)",
                       l.name);
        return false;
    }
    return true;
}
