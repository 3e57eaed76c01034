#!/usr/bin/env bash
# Runs the 32-bit Windows programs (build-win/brevindor.exe and brevindor-batch.exe, Winsock 1.1,
# cross-built with cmake/mingw-i686.cmake) under a 32-bit Wine and the Linux builds on the same
# runs, against the controller stand-in, and compares them byte for byte: console output, error
# output, exit value, the -F file and the datagrams the stand-in received. The Windows side has
# CRLF line ends (made LF before comparing; the -F file must be exactly the Linux one with CRLF)
# and Wine's own wording of the pause line; the batch program names no interface on Windows.
# Any other difference fails the check.
#
# Everything runs inside a private network namespace that this script makes (as root, or through a
# user namespace), with loopback only; packages missing from tools/packages.sh are installed first
# when run as root.
#   tools/wine_check.sh        exit 0 when every run is the same
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build"
win="$top/build-win"
. "$top/tools/netns_guard.sh"

if [ "${1:-}" != "--in-private-ns" ]; then
    . "$top/tools/packages.sh"
    ensure_packages wine_check "${WINE_PACKAGES[@]}"
    cmake -S "$top" -B "$win" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-i686.cmake" >/dev/null
    cmake --build "$win" -j "$(nproc)" >/dev/null
    if [ ! -f "$build/CMakeCache.txt" ]; then
        cmake -S "$top" -B "$build" >/dev/null
    fi
    cmake --build "$build" -j "$(nproc)" --target brevindor brevindor-batch brevindor-standin >/dev/null
    # Wine's 32-bit loader needs a kernel that runs 32-bit x86 programs. Where it doesn't (IA32
    # emulation off or missing, as in some virtual machines), nothing here can run: the programs are
    # cross-built, which checks that they compile and link, and the check says loudly that it ran
    # nothing. ld-linux.so.2 is i386 libc's loader, which wine32 depends on.
    if ! /lib/ld-linux.so.2 --help >/dev/null 2>&1; then
        echo "wine_check: SKIPPED: this kernel runs no 32-bit x86 program (/lib/ld-linux.so.2: $(
            /lib/ld-linux.so.2 --help 2>&1 >/dev/null | head -1 | sed 's/.*: //'
        )); the Windows programs were cross-built, not run" >&2
        exit 0
    fi
    enter_private_netns --mount --
fi

# Refuse first, before the host name or any link is touched, if this namespace has any way out.
require_private_netns wine_check
ip link set lo up
start=$SECONDS
work=$(mktemp -d /tmp/wine-check.XXXXXX)
trap 'rm -rf "$work"' EXIT
# Wine's Winsock 1.1 lists the local addresses by resolving the host name with this machine's
# resolver: it must give 127.0.0.1 once, the one address here. So the host name is localhost and,
# in this mount namespace only, /etc/hosts names it alone (Debian's also has "::1 localhost", which
# glibc's gethostbyname returns as a second 127.0.0.1 under "multi on").
hostname localhost
printf '127.0.0.1\tlocalhost\n' >"$work/hosts"
[ -e /etc/hosts ] && mount --bind "$work/hosts" /etc/hosts
# The same lookup as Wine's (getent's would leave loopback-only answers out).
found=$(perl -e '@h = gethostbyname("localhost"); print join(" ", map { join(".", unpack("C4", $_)) } @h[4 .. $#h])')
if [ "$found" != 127.0.0.1 ]; then
    echo "wine_check: localhost resolves to '$found', not to 127.0.0.1 alone (no /etc/hosts?)" >&2
    exit 1
fi

# Wine does its socket calls in its server, which clients find by prefix, not by namespace: a run
# reaching a wineserver started elsewhere would send from that server's network. So the prefix is
# new for this run (never shared), and its server is started here, inside the private namespace,
# before any Wine program, and killed at the end.
# Debian's Wine puts the server's directory in TMPDIR: in the work directory, it goes with it.
export WINEPREFIX="$work/prefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" TMPDIR="$work/tmp"
unset DISPLAY WAYLAND_DISPLAY
mkdir "$WINEPREFIX" "$TMPDIR"
wineserver=/usr/lib/wine/wineserver32
[ -x "$wineserver" ] || wineserver=/usr/lib/wine/wineserver64
"$wineserver" -f -p &
server=$!
trap '"$wineserver" -k 2>/dev/null || true; wait "$server" 2>/dev/null || true; rm -rf "$work"' EXIT
# It listens (a socket among its files) only once it holds the prefix's lock; it exits instead when
# another server holds it. Go on only with this server, listening, in this namespace.
listening=""
for _ in $(seq 100); do
    kill -0 "$server" 2>/dev/null || break
    if find "/proc/$server/fd" -lname 'socket:*' 2>/dev/null | grep -q .; then
        listening=yes
        break
    fi
    sleep 0.1
done
if [ -z "$listening" ] || [ "$(readlink "/proc/$server/ns/net")" != "$(readlink /proc/self/ns/net)" ]; then
    echo "wine_check: the prefix's wineserver is not this namespace's own" >&2
    exit 1
fi
wine wineboot --init >/dev/null 2>&1
echo "wine_check: $(wine --version), prefix made in $((SECONDS - start)) s"
cd "$work"   # relative file names are looked up here, by both programs

# One run a row: input|controllers|datagrams|arguments
#   input        what is typed (printf %b); empty: no input at all
#   controllers  the stand-in's set (below), or - for none: the run is refused before sending
#   datagrams    lengths the stand-in must log, in order (16 the request, 28 the setting message)
#   arguments    split at spaces; out.txt is the -F file, compared as well
rows=(
    # Refused command lines
    "|-||scan"
    "|-||-X"
    "|-||-T"
    "|-||-R -T 0"
    "|-||-R x"
    "|-||-R -X 1"
    "|-||-R -F"
    "|-||-R -F missing/out.txt"
    "|-||-W"
    "|-||-W x"
    "|-||-W -Q 1"
    "|-||-W -I"
    "|-||-W -G"
    "|-||-W -M"
    "|-||-W -I 10.0.0.256"
    "|-||-W -I 192.168.001.010"
    "|-||-W -I 255.255.255.255 -Q 1"
    # Runs on the network
    "1\n|three|16|-R -T 1"
    "1\n2\n|three|16 28|-W -I 192.168.1.50 -G 192.168.1.1 -M 255.255.255.0 -T 1"
    "1\n|three|16|-R -F out.txt -T 1"
    "1\n3\n|three|16 28|-W -M 255.255.0.0 -F out.txt -T 1"
    "1\n|oversized|16|-R -F out.txt -T 1"
    "1\n|three||-W -I 192.168.1 -T 1"
    "5\n|three||-R -T 1"
    "1\n9\n|three|16|-W -I 192.168.1.50 -T 1"
    "1\nx\n|three|16|-W -I 192.168.1.50 -T 1"
    "|three|16 16 16 16|batch scan --interface 127.0.0.1 --timeout 1"
    "|three|16 16 16 16|batch scan --interface 127.0.0.1 --timeout 1 --format csv"
    "|three|16 16 16 16|batch scan --interface 127.0.0.1 --timeout 1 --format json"
    "|three|16 28|batch set --interface 127.0.0.1 --timeout 1 --mac 00:1a:2b:3c:4d:02 --ip 192.168.1.50 --no-verify"
    "|three|16 28 16|batch set --interface 127.0.0.1 --timeout 1 --mac 00:1a:2b:3c:4d:02 --ip 192.168.1.50"
    "|-||batch scan --interface 10.9.9.9"
)
# Known and left out: "-R -F ." (a directory) ends "Is a directory" on Linux and "Permission
# denied" on Windows, whose C runtime gives EACCES there.

controllers() {
    case $1 in
    three)
        echo --controller "mac=00.1a.2b.3c.4d.01,ip=192.168.1.21,name=Boiler-Room" \
            --controller "mac=00.1a.2b.3c.4d.02,ip=192.168.1.22,name=Hall-North" \
            --controller "mac=00.1a.2b.3c.4d.03,ip=192.168.1.23,name=Hall-South,delay=200"
        ;;
    # One good response, then one too long for the receive buffer: a failed receive.
    oversized) echo --controller "name=Short" --controller "name=Long,size=71,delay=300" ;;
    esac
}

# Runs one program ($1: linux or wine) on the current row, leaving $1.out, $1.err, $1.rc, $1.file
# and $1.log.
run() {
    local side=$1
    rm -f out.txt "$side".log
    touch "$side".log
    local standin=""
    if [ "$set" != - ]; then
        # shellcheck disable=SC2046
        coproc STANDIN { exec "$build/brevindor-standin" --lifetime 60 --log "$side.log" $(controllers "$set"); }
        standin=$STANDIN_PID
        local ready=""
        read -r -t 10 ready <&"${STANDIN[0]}" || true
        [ "$ready" = ready ] || { echo "wine_check: the stand-in did not start" >&2; exit 1; }
    fi
    # A row whose arguments start with "batch" runs brevindor-batch.
    local rc=0 name=brevindor argv=("${args[@]}")
    if [ "${args[0]:-}" = batch ]; then
        name=brevindor-batch
        argv=("${args[@]:1}")
    fi
    local program=("$build/$name")
    [ "$side" = linux ] || program=(wine "$win/$name.exe")
    printf '%b' "$input" | timeout 60 "${program[@]}" "${argv[@]}" >"$side.out" 2>"$side.err" || rc=$?
    echo "$rc" >"$side.rc"
    if [ -f out.txt ]; then mv out.txt "$side.file"; else rm -f "$side.file"; fi
    if [ -n "$standin" ]; then
        kill "$standin" 2>/dev/null || true
        wait "$standin" 2>/dev/null || true
    fi
}

# The Windows side made comparable: CRLF becomes LF (a lone CR stays); Wine's cmd words the pause
# "Press any key to continue... " and, when input ends, writes no line end after it: at the very
# end it becomes the Linux build's "Press any key to continue . . . ".
normalise() {
    perl -0777 -pe 's/\r\n/\n/g; s/Press any key to continue\.\.\. \n?\z/Press any key to continue . . . \n/'
}

# What differs between the two sides of the current row, one line a difference; nothing if same.
differences() {
    normalise <wine.out >wine.norm
    if ! cmp -s linux.out wine.norm; then
        echo "console output:"
        diff -u --label linux --label wine <(cat -A linux.out) <(cat -A wine.norm) | tail -n +3
    fi
    # Winsock 1.1 names no interfaces: the batch program's progress line has no " on lo" there.
    normalise <wine.err | cmp -s <(perl -pe 's/^(brevindor-batch: scanning from \S+) on \S+$/$1/' linux.err) - ||
        echo "error output: '$(cat linux.err)' / '$(cat wine.err)'"
    cmp -s linux.rc wine.rc || echo "exit value: $(cat linux.rc) / $(cat wine.rc)"
    # The Windows file is the Linux file with CRLF line ends, nothing else.
    if [ -f linux.file ] || [ -f wine.file ]; then
        if ! perl -pe 's/\n/\r\n/' linux.file 2>/dev/null | cmp -s - wine.file; then
            echo "-F file:"
            diff -u --label linux --label wine <(cat -A linux.file 2>&1) <(cat -A wine.file 2>&1) | tail -n +3
        fi
    fi
    if ! cmp -s linux.log wine.log; then
        echo "datagrams received:"
        diff -u --label linux --label wine linux.log wine.log | tail -n +3
    fi
    local lengths
    lengths=$(awk '{ printf "%s%s", sep, $2; sep = " " }' linux.log)
    [ "$set" = - ] || [ "$lengths" = "$sent" ] || echo "datagram lengths: '$lengths', expected '$sent'"
}

same=0
differ=0
for row in "${rows[@]}"; do
    IFS='|' read -r input set sent line <<<"$row"
    read -r -a args <<<"$line"
    run linux
    run wine
    shown="$line${input:+  (typed ${input//\\n/ })}"
    found=$(differences)
    if [ -z "$found" ]; then
        echo "same     $shown"
        same=$((same + 1))
    else
        echo "differs  $shown"
        while IFS= read -r detail; do echo "    $detail"; done <<<"$found"
        differ=$((differ + 1))
    fi
done
echo "wine_check: $same same, $differ differ ($((SECONDS - start)) s)"
[ "$differ" = 0 ]
