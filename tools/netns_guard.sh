# shellcheck shell=bash
# Sourced by every script that runs a program that sends. Same rule as tools/netns_guard.cpp:
# the current network namespace may hold only the loopback device and our own links (names
# beginning "brv") whose peer, if any, is also ours and inside this namespace, or lies in another
# namespace the same script made (not the machine's own, holding nothing but lo and our links
# tied inside it or back here); any other link can reach a real network.
#   require_private_netns NAME    exits 1 with the reason, naming the script, unless that holds
# Call it before the host name or any link is touched. A link into another namespace can't be
# followed from here: the built guard, brevindor-netns-guard, checks it when BREVINDOR_NETNS_GUARD
# names it; without it such a link is refused.
require_private_netns() {
    local who=$1 links line link peer crossing="" why
    links=$(ip -o link show 2>/dev/null) || links=""
    if [ -z "$links" ]; then   # fails closed
        echo "$who: can't list the network links" >&2
        exit 1
    fi
    while IFS= read -r line; do
        link=${line#*: }   # "2: brv0@brv1: <...>" -> "brv0@brv1"
        link=${link%%: *}
        peer=""
        case $link in *@*) peer=${link#*@} ;; esac
        link=${link%%@*}
        # A peer or lower link in another namespace shows as "@ifN ... link-netnsid N".
        case $line in *link-netns*) peer=elsewhere ;; esac
        case $link:$peer in
        lo: | brv*: | brv*:brv*) ;;
        brv*:elsewhere) crossing=$link ;;
        *)
            echo "$who: link '${link}' can reach a real network: run only inside a private network namespace" \
                "(unshare -n)" >&2
            exit 1
            ;;
        esac
    done <<<"$links"
    if [ -n "$crossing" ]; then
        why="the guard to follow it is not built"
        if [ -x "${BREVINDOR_NETNS_GUARD:-}" ] && why=$("$BREVINDOR_NETNS_GUARD" 2>&1); then
            return 0
        fi
        echo "$who: link '${crossing}' leads to another namespace: ${why}" >&2
        exit 1
    fi
}

# enter_private_netns [UNSHARE-OPTION...] -- [ARG...]: runs the calling script again as
# "$0 --in-private-ns ARG..." in a new network and host-name namespace (and whatever the options
# add), as root or, for anyone else, through a user namespace. Does not return.
enter_private_netns() {
    local options=()
    while [ $# -gt 0 ] && [ "$1" != -- ]; do
        options+=("$1")
        shift
    done
    shift
    if [ "$(id -u)" = 0 ]; then
        exec unshare --net --uts "${options[@]}" "$0" --in-private-ns "$@"
    fi
    exec unshare --map-root-user --net --uts "${options[@]}" "$0" --in-private-ns "$@"
}
