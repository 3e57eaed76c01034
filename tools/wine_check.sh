#!/usr/bin/env bash
# Runs the Windows programs (brevindor.exe, brevindor-batch.exe and brevindor-web.exe, cross-built
# with MinGW-w64) under Wine and the Linux builds on the same runs, against the controller
# stand-in, and compares them byte for byte: console output, error output, exit value, the -F file
# and the datagrams the stand-in received. The Windows side has CRLF line ends (made LF before comparing; the -F file
# must be exactly the Linux one with CRLF), Wine's own wording of the pause line, and the Windows
# firewall's lines among the hints when nothing answered. Any other difference fails the check.
# brevindor-batch doctor's rows are checked otherwise (doctor_differences): its findings are this
# system's own by design (adapter flags, error texts, the fixes' commands, the firewall lines).
# brevindor-web.exe has a row of its own: its page and API calls made with curl, the answers
# compared with the Linux server's with the token and port hidden (see web_run).
#
# The 64-bit programs (build-win64, cmake/mingw-x86_64.cmake) run under wine64 on every machine;
# the 32-bit ones we ship (build-win, cmake/mingw-i686.cmake, Winsock 1.1) under a 32-bit Wine
# where the kernel runs 32-bit x86 programs and the 32-bit Wine packages could be installed (when
# they could not, a WARNING line says so, every 32-bit row is NOT RUN (packages unavailable) and the
# 64-bit rows decide). Both are built on every machine, and the 32-bit brevindor.exe is checked to
# be a PE32. So are the Windows packages, cpack -G ZIP: their contents are checked.
#
# Each architecture runs inside a private network namespace of its own that this script makes (as
# root, or through a user namespace), with loopback and, for the rows that need them, two veth
# segments of its own; packages missing from tools/packages.sh are installed first when run as
# root.
#   tools/wine_check.sh                 exit 0 when every run is the same
#   WINE_ARCHS="win64" tools/wine_check.sh   only these (win32, win64); one that can't run fails
#   WINE_CHECK_SHOW=TEXT tools/wine_check.sh  also shows what the Windows side wrote (error output
#                                             first) in the rows whose arguments hold TEXT
#   WINE_CHECK_ROWS=TEXT tools/wine_check.sh  runs only those rows ("web": the web program's)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build"
. "$top/tools/netns_guard.sh"
. "$top/tools/wine_env.sh"

windows_build() {
    case $1 in
    win32) echo "$top/build-win" ;;
    win64) echo "$top/build-win64" ;;
    esac
}

# The zip of a Windows build: the programs, the README, the manual pages as text, the licence and
# the firewall note, in one folder named as the zip.
check_zip() {
    local arch=$1 dir
    dir=$(windows_build "$arch")
    rm -f "$dir"/brevindor-*.zip
    (cd "$dir" && cpack -G ZIP >/dev/null)
    local name
    name="brevindor-$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$dir/CMakeCache.txt")-$arch"
    [ -f "$dir/$name.zip" ] || { echo "wine_check: cpack made no $name.zip" >&2; return 1; }
    local expected files
    expected=$(printf "$name/%s\n" FIREWALL.txt README.md brevindor-batch.exe brevindor-batch.txt brevindor-web.exe \
        brevindor-web.txt brevindor.exe brevindor.txt copyright.txt)
    files=$(unzip -Z1 "$dir/$name.zip" | grep -v '/$' | sort)
    if [ "$files" != "$expected" ]; then
        echo "wine_check: $name.zip holds:"$'\n'"$files" >&2
        return 1
    fi
    if ! unzip -p "$dir/$name.zip" "$name/FIREWALL.txt" | grep -qF 'protocol=UDP localport=20662' ||
        ! unzip -p "$dir/$name.zip" "$name/brevindor-batch.txt" | grep -q 'interface' ||
        ! unzip -p "$dir/$name.zip" "$name/brevindor-web.txt" | grep -q 'token'; then
        echo "wine_check: $name.zip: FIREWALL.txt without the rule, or an empty manual page" >&2
        return 1
    fi
    echo "wine_check: $name.zip holds the programs, README, manual pages, licence and FIREWALL.txt"
}

# One run a row: input|controllers|datagrams|arguments[|wine environment]
#   input        what is typed (printf %b); empty: no input at all
#   controllers  the stand-in's set (below), or - for none: the run is refused before sending
#   datagrams    lengths the stand-in must log, in order (16 the request, 28 the setting message)
#   arguments    split at spaces; out.txt is the -F file, compared as well
#   environment  VAR=VALUE words for the Windows side's run only
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
    "|three|16 16 16 16 16 16 28|batch set --interface 127.0.0.1 --timeout 1 --mac 00:1a:2b:3c:4d:02 --ip 192.168.1.50 --no-verify"
    "|three|16 16 16 16 16 16 28 16|batch set --interface 127.0.0.1 --timeout 1 --mac 00:1a:2b:3c:4d:02 --ip 192.168.1.50"
    "|-||batch scan --interface 10.9.9.9"
    # Watched for four asks, the events in both formats (their times set aside); Ctrl-C is not
    # sent, as under Wine no console gets it
    "|three|16 16 16 16|batch watch --interface 127.0.0.1 --every 0.5 --max-time 1.9 --format json"
    "|three|16 16 16 16|batch watch --interface 127.0.0.1 --every 0.5 --max-time 1.9"
    # Nothing answers: what to check, the Windows firewall's rule on Windows alone
    "|silent|16 16 16 16|batch scan --interface 127.0.0.1 --timeout 1"
    # A UTF-8 node name, the same bytes from both
    "1\n|utf8|16|-R -F out.txt -T 1"
    "|utf8|16 16 16 16|batch scan --interface 127.0.0.1 --timeout 1"
    "|utf8|16 16 16 16|batch scan --interface 127.0.0.1 --timeout 1 --format json"
    # Adapters by name, in any case: loopback here, named explicitly
    "|three|16 16 16 16|batch scan --interface LO --timeout 1"
    "|three|16 16 16 16 16 16 28 16|batch apply lo-plan.csv --interface lo --timeout 1"
    # Two segments, the controllers behind them in a second namespace: by name and all of them
    "|segments||batch scan --interface eth9"
    "|segments|16 16 16 16 16 16 16 16|batch scan --interface all --timeout 1"
    "|segments|16 16 16 16|batch scan --interface BRV2 --timeout 1 --format csv"
    "|segments|16 16 16 16 16 16 28 16|batch set --interface brv0 --timeout 1 --mac 00:1a:2b:3c:4d:0a --ip 10.1.0.50"
    "|segments|16 16 16 16 16 16 28 16|batch apply plan.csv --interface Brv2 --timeout 1"
    # The check of the computer: the findings' lines (doctor_differences), then without the
    # firewall's COM class (hnetcfg), which must come out as "couldn't tell"
    "|three|16 16 16 16|batch doctor --interface 127.0.0.1 --timeout 1"
    "|three|16 16 16 16|batch doctor --interface 127.0.0.1 --timeout 1|WINEDLLOVERRIDES=mscoree,mshtml,hnetcfg="
    # The journal made on Linux (above): the chain checked, listed in the three forms, filtered,
    # and one byte changed
    "|-||batch journal --verify --journal journal.jsonl"
    "|-||batch journal --journal journal.jsonl"
    "|-||batch journal --journal journal.jsonl --format csv --mac 00-1A-2B-3C-4D-02"
    "|-||batch journal --journal journal.jsonl --format json --since 2026-12-10T00:00Z"
    "|-||batch journal --verify --journal broken.jsonl"
)
# Known and left out: "-R -F ." (a directory) ends "Is a directory" on Linux and "Permission
# denied" on Windows, whose C runtime gives EACCES there.

# How a row is shown among the results: row_shown INPUT ARGUMENTS [WINE_ENVIRONMENT].
row_shown() {
    echo "$2${1:+  (typed ${1//\\n/ })}${3:+  (Windows side: $3)}"
}
WEB_ROW="brevindor-web: the page, a scan and an apply of one row through the API"

# not_run ARCH REASON: every row (of those WINE_CHECK_ROWS picks) as not run on ARCH, then its tally.
not_run() {
    local arch=$1 reason=$2 row input line environment count=0
    for row in "${rows[@]}"; do
        IFS='|' read -r input _ _ line environment <<<"$row"
        [[ $line == *${WINE_CHECK_ROWS:-}* ]] || continue
        echo "NOT RUN  $(row_shown "$input" "$line" "$environment")  ($reason)"
        count=$((count + 1))
    done
    if [[ web == *${WINE_CHECK_ROWS:-}* ]]; then
        echo "NOT RUN  $WEB_ROW  ($reason)"
        count=$((count + 1))
    fi
    echo "wine_check: $arch: 0 same, 0 differ, $count NOT RUN ($reason)"
}

if [ "${1:-}" != "--in-private-ns" ]; then
    . "$top/tools/packages.sh"
    ensure_packages wine_check "${WINE_PACKAGES[@]}"
    cross_build win32 "$(windows_build win32)"
    cross_build win64 "$(windows_build win64)"
    if ! file -b "$(windows_build win32)/brevindor.exe" | grep -q '^PE32 executable.*Intel 80386'; then
        echo "wine_check: build-win/brevindor.exe is not a 32-bit program: $(file -b "$(windows_build win32)/brevindor.exe")" >&2
        exit 1
    fi
    check_zip win32
    check_zip win64
    cmake -S "$top" -B "$build" >/dev/null
    targets=(brevindor brevindor-batch brevindor-web brevindor-standin)
    [ ! -f "$top/tools/segments.sh" ] || targets+=(brevindor-netns-guard)
    cmake --build "$build" -j "$(nproc)" --target "${targets[@]}" >/dev/null
    # The 32-bit Wine comes from the i386 architecture, whose packages may not install (a mirror
    # halfway through a sync; ensure_packages tried three times): then its rows are not run, said
    # loudly, and the 64-bit rows decide. Wine's 32-bit loader also needs a kernel that runs 32-bit
    # x86 programs (IA32 emulation is off or missing in some virtual machines): there the 64-bit rows
    # run alone too. When nothing can run, or an architecture asked for by name can't, the check
    # fails.
    wine32_missing=$(missing_packages "${WINE32_PACKAGES[@]}" | paste -sd ' ')
    archs=${WINE_ARCHS:-}
    win32_not_run=""
    if [ -z "$archs" ]; then
        archs=win64
        if [ -n "$wine32_missing" ]; then
            echo "wine_check: WARNING: the 32-bit Wine packages could not be installed ($wine32_missing):" \
                "the 32-bit rows are NOT RUN (packages unavailable); the 64-bit rows decide" >&2
            archs="win64 win32"
            win32_not_run="packages unavailable"
        elif wine_runs win32; then
            archs="win64 win32"
        else
            echo "wine_check: the 32-bit programs were cross-built, not run: this kernel runs no 32-bit x86 program" \
                "(/lib/ld-linux.so.2: $(/lib/ld-linux.so.2 --help 2>&1 >/dev/null | head -1 | sed 's/.*: //'))"
        fi
    fi
    failed=""
    for arch in $archs; do
        if [ "$arch" = win32 ] && [ -n "$win32_not_run" ]; then
            not_run win32 "$win32_not_run"
            continue
        fi
        if [ "$arch" = win32 ] && [ -n "$wine32_missing" ]; then
            echo "wine_check: FAILED: win32 was asked for, and the 32-bit Wine packages could not be installed" \
                "($wine32_missing)" >&2
            failed=yes
            continue
        fi
        if ! wine_runs "$arch"; then
            echo "wine_check: FAILED: Wine can't run $arch programs on this machine" >&2
            failed=yes
            continue
        fi
        (enter_private_netns --mount -- "$arch") || failed=yes
    done
    [ -z "$failed" ]
    exit
fi
arch=$2
win=$(windows_build "$arch")

# Refuse first, before the host name or any link is touched, if this namespace has any way out.
require_private_netns wine_check
ip link set lo up
start=$SECONDS
work=$(mktemp -d /tmp/wine-check.XXXXXX)
trap 'rm -rf "$work"' EXIT
export XDG_STATE_HOME="$work/state"   # the Linux side's journal: this run's own, not the user's
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

# A 64-bit run is made as on a kernel without 32-bit programs: no 32-bit loader to fall back on.
[ "$arch" != win64 ] || hide_wine32
trap 'wine_stop; [ ! -f "$work/keeper" ] || kill "$(cat "$work/keeper")" 2>/dev/null; rm -rf "$work"' EXIT
wine_start "$arch" "$work"
echo "wine_check: $arch, $("$WINE" --version), prefix made in $((SECONDS - start)) s"
WINE_RUN_LIMIT_S=120   # a run under Wine: its start and the closing pause are slow on a busy machine
cd "$work"   # relative file names are looked up here, by both programs
printf 'mac,ip\n00:1a:2b:3c:4d:02,192.168.1.50\n' >lo-plan.csv
printf 'mac,ip\n00:1a:2b:3c:4d:0b,10.2.0.50\n' >plan.csv

# A journal as brevindor-batch writes it, its chain made here with sha256sum: an apply of two rows
# (start and end) and a set; and a copy with one byte changed in the second line.
JOURNAL_HEAD='"run":"00112233445566778899aabbccddeeff","kind":"apply","user":"anna","computer":"LAPTOP-7",'\
'"program":"brevindor-batch","version":"1.08.0","interfaces":[{"name":"lo","address":"127.0.0.1"}],'\
'"plan":{"file":"line4.csv","sha256":"'"$(printf 'mac,ip\n' | sha256sum | cut -c1-64)"'"},"undo":null'
JOURNAL_BEFORE='"before":{"ip":"192.168.1.22","gateway":"192.168.1.1","mask":"255.255.255.0"}'
JOURNAL_BODIES=(
    '"time":"2026-12-09T14:30:00.123Z","entry":"start",'"$JOURNAL_HEAD"',"rows":[{"line":2,"mac":"00:1a:2b:3c:4d:02",'\
'"node_name":"Gr\u00f6\u00dfe",'"$JOURNAL_BEFORE"',"target":{"ip":"192.168.1.50","gateway":null,'\
'"mask":"255.255.255.0"},"send":true},{"line":3,"mac":"00:1a:2b:3c:4d:03","node_name":null,"before":null,'\
'"target":{"ip":"192.168.1.51","gateway":"192.168.1.1","mask":"255.255.255.0"},"send":false}]}'
    '"time":"2026-12-09T14:30:02.456Z","entry":"end",'"$JOURNAL_HEAD"',"rows":[{"line":2,"mac":"00:1a:2b:3c:4d:02",'\
'"node_name":"Gr\u00f6\u00dfe","state":"verified",'"$JOURNAL_BEFORE"',"after":{"ip":"192.168.1.50",'\
'"gateway":"192.168.1.1","mask":"255.255.255.0"},"senders":[]},{"line":3,"mac":"00:1a:2b:3c:4d:03",'\
'"node_name":null,"state":"not found","before":null,"after":null,"senders":[]}]}'
    '"time":"2026-12-10T08:00:00.000Z","entry":"start",'"${JOURNAL_HEAD/\"apply\"/\"set\"}"',"rows":[{"line":null,'\
'"mac":"00:1a:2b:3c:4d:02","node_name":"=cmd",'"${JOURNAL_BEFORE/22/50}"',"target":{"ip":"192.168.1.60",'\
'"gateway":null,"mask":null},"send":true}]}'
)
prev=0000000000000000000000000000000000000000000000000000000000000000
for body in "${JOURNAL_BODIES[@]}"; do
    entry="{\"prev\":\"$prev\",$body"
    printf '%s\n' "$entry" >>journal.jsonl
    prev=$(printf '%s' "$entry" | sha256sum | cut -c1-64)
done
sed '2s/192\.168\.1\.50/192.168.1.59/' journal.jsonl >broken.jsonl

controllers() {
    case $1 in
    three)
        echo --controller "mac=00.1a.2b.3c.4d.01,ip=192.168.1.21,name=Boiler-Room" \
            --controller "mac=00.1a.2b.3c.4d.02,ip=192.168.1.22,name=Hall-North" \
            --controller "mac=00.1a.2b.3c.4d.03,ip=192.168.1.23,name=Hall-South,delay=200"
        ;;
    # One good response, then one too long for the receive buffer: a failed receive.
    oversized) echo --controller "name=Short" --controller "name=Long,size=71,delay=300" ;;
    silent) echo --controller "loss=1" ;;   # hears every request, answers none
    utf8) echo --controller "mac=00.1a.2b.3c.4d.07,name=Größe-泵站" ;;
    # One controller behind each segment's far end.
    segments)
        echo --interface 10.1.0.2 --interface 10.2.0.2 \
            --controller "behind=brv1,mac=00.1a.2b.3c.4d.0a,ip=10.1.0.21,gw=10.1.0.1,name=Segment-A" \
            --controller "behind=brv3,mac=00.1a.2b.3c.4d.0b,ip=10.2.0.21,gw=10.2.0.1,name=Segment-B"
        ;;
    esac
}

# Two segments (tools/segments.sh): brv0 10.1.0.1 and brv2 10.2.0.1 here, their other ends in a
# second private namespace, where the stand-in runs: Wine binds a socket given a local address
# other than loopback to every address, which a stand-in in this namespace would hold already.
# Made for the first row that needs them, and kept; false when they can't be made here.
far=""
segments() {
    [ -z "$far" ] || return 0
    [ -f "$top/tools/segments.sh" ] || return 1
    # shellcheck source=/dev/null # not in every tree yet
    . "$top/tools/segments.sh"
    make_segments 2 "$work/keeper"
    far="/proc/$(cat "$work/keeper")/ns/net"
    export BREVINDOR_NETNS_GUARD="$build/brevindor-netns-guard"
    require_private_netns wine_check   # again, now that links lead to the controllers' namespace
}

# Runs one program ($1: linux or wine) on the current row, leaving $1.out, $1.err, $1.rc, $1.file
# and $1.log.
run() {
    local side=$1
    rm -f out.txt "$side".log
    touch "$side".log
    local standin="" place=()
    [ "$set" != segments ] || place=(nsenter --net="$far")
    if [ "$set" != - ]; then
        # shellcheck disable=SC2046
        coproc STANDIN { exec "${place[@]}" "$build/brevindor-standin" --lifetime 60 --log "$side.log" $(controllers "$set"); }
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
    local program=("$build/$name") limit=60 environment=()
    read -r -a environment <<<"$wine_env"
    [ "$side" = linux ] || program=(env "${environment[@]}" "$WINE" "$win/$name.exe") limit=$WINE_RUN_LIMIT_S
    for attempt in 1 2; do
        rc=0
        printf '%b' "$input" | timeout "$limit" "${program[@]}" "${argv[@]}" >"$side.out" 2>"$side.err" || rc=$?
        # Wine sometimes hangs before the program starts, on a busy machine: nothing written,
        # nothing sent. Such a run is tried once more, and said so; any other is taken as it is.
        if [ "$rc" != 124 ] || [ -s "$side.out" ] || [ -s "$side.err" ] || [ -s "$side.log" ] ||
            [ "$side" = linux ] || [ "$attempt" = 2 ]; then
            break
        fi
        retried="$retried${retried:+, }$line"
    done
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
    # A watch's events carry the time they were told: as JSON, and first on a line of the table.
    if [[ $line == "batch watch"* ]]; then
        perl -pi -e 's/"time":"[^"]*"/"time":"(time)"/; s/^\d\d:\d\d:\d\d\.\d{3}  /(time)        /' linux.out wine.norm
    fi
    if ! cmp -s linux.out wine.norm; then
        echo "console output:"
        diff -u --label linux --label wine <(cat -A linux.out) <(cat -A wine.norm) | tail -n +3
    fi
    # When nothing answered, Windows alone tells of its firewall, in two lines.
    normalise <wine.err | perl -ne 'print unless /^  the Windows firewall may drop the answers|^    netsh advfirewall firewall add rule /' |
        cmp -s linux.err - || echo "error output: '$(cat linux.err)' / '$(cat wine.err)'"
    if grep -q 'no controller answered' linux.err && ! grep -q '^    netsh advfirewall firewall add rule name=' wine.err; then
        echo "no firewall rule among the hints: '$(cat wine.err)'"
    fi
    cmp -s linux.rc wine.rc || echo "exit value: $(cat linux.rc) / $(cat wine.rc)"
    # The Windows file is the Linux file with CRLF line ends, nothing else.
    if [ -f linux.file ] || [ -f wine.file ]; then
        if ! perl -pe 's/\n/\r\n/' linux.file 2>/dev/null | cmp -s - wine.file; then
            echo "-F file:"
            diff -u --label linux --label wine <(cat -A linux.file 2>&1) <(cat -A wine.file 2>&1) | tail -n +3
        fi
    fi
    # Requests sent on two segments meet in the stand-in in either order.
    local order=(cat)
    [ "$set" != segments ] || order=(sort)
    if ! cmp -s <("${order[@]}" linux.log) <("${order[@]}" wine.log); then
        echo "datagrams received:"
        diff -u --label linux --label wine <("${order[@]}" linux.log) <("${order[@]}" wine.log) | tail -n +3
    fi
    local lengths
    lengths=$(awk '{ printf "%s%s", sep, $2; sep = " " }' linux.log)
    [ "$set" = - ] || [ "$lengths" = "$sent" ] || echo "datagram lengths: '$lengths', expected '$sent'"
}


# doctor's findings, which differ by design: each line reduced to its severity and the first word
# of what it is about must be the same on both sides once the Windows-only firewall and profile
# lines are set aside; Windows must have those two, and the lines below word for word; error
# output, exit value and datagrams as for any row.
DOCTOR_WINDOWS_LINES=(
    'ok       interface lo: 127.0.0.1/8, up, multicast, loopback, checked'
    'ok       port 20662 on 127.0.0.1 (lo): can be bound'
    'ok       scan on 127.0.0.1 (lo): 3 controllers'
    'problem  controller 00.1a.2b.3c.4d.02 at 192.168.1.22 mask 255.255.255.0, heard on 127.0.0.1 (lo), is outside every subnet of this computer; fix (as administrator): netsh interface ipv4 add address "lo" 192.168.1.250 255.255.255.0'
)
doctor_differences() {
    normalise <wine.out >wine.norm
    local windows_only='^[a-z]+ +(firewall|network profile): '
    if ! cmp -s <(awk '{ print $1, $2 }' linux.out) <(grep -Ev "$windows_only" wine.norm | awk '{ print $1, $2 }'); then
        echo "findings (severity and subject):"
        diff -u --label linux --label wine <(awk '{ print $1, $2 }' linux.out) \
            <(grep -Ev "$windows_only" wine.norm | awk '{ print $1, $2 }') | tail -n +3
    fi
    ! grep -Eq "$windows_only" linux.out || echo "linux: a firewall or profile line: '$(cat linux.out)'"
    local expected
    for expected in "${DOCTOR_WINDOWS_LINES[@]}"; do
        grep -qxF "$expected" wine.norm || echo "wine: no line '$expected'"
    done
    grep -Eq '^(ok|problem|unknown) +firewall: ' wine.norm || echo "wine: no firewall line"
    grep -Eq '^(ok|problem|unknown) +network profile: ' wine.norm || echo "wine: no network profile line"
    if [[ $wine_env == *hnetcfg=* ]]; then
        grep -Eq "^unknown  firewall: couldn't tell whether inbound UDP 20662 is let through \(HRESULT 0x[0-9A-F]{8}\); fix \(as administrator\): netsh advfirewall firewall add rule " wine.norm ||
            echo "wine: no 'couldn't tell' firewall line without hnetcfg"
        grep -Eq "^unknown  network profile: couldn't tell whether it is Public \(HRESULT 0x[0-9A-F]{8}\)$" wine.norm ||
            echo "wine: no 'couldn't tell' profile line without hnetcfg"
    fi
    normalise <wine.err | cmp -s linux.err - || echo "error output: '$(cat linux.err)' / '$(cat wine.err)'"
    cmp -s linux.rc wine.rc || echo "exit value: $(cat linux.rc) / $(cat wine.rc)"
    cmp -s linux.log wine.log || echo "datagrams received: '$(cat linux.log)' / '$(cat wine.log)'"
    local lengths
    lengths=$(awk '{ printf "%s%s", sep, $2; sep = " " }' linux.log)
    [ "$lengths" = "$sent" ] || echo "datagram lengths: '$lengths', expected '$sent'"
}

# The web program, once a side, against the three controllers: the page's login and headers, then a
# scan and an apply of one row (controller 2's IP) through its API, as the page does them. Leaves
# $1.web, the answers with the token and port hidden (the same bytes from both sides), $1.out,
# $1.err and $1.log; returns 1 when the server printed no address.
WEB_PORTS=(linux:18001 wine:18002)
WEB_APPLY='{"rows":[{"mac":"00:1a:2b:3c:4d:02","ip":"192.168.1.50"}]}'
web_run() {
    local side=$1 port
    port=$(printf '%s\n' "${WEB_PORTS[@]}" | sed -n "s/^$side://p")
    rm -rf "$side".web "$side".log cookies undo
    mkdir undo
    touch "$side".web "$side".log
    # shellcheck disable=SC2046
    coproc STANDIN { exec "$build/brevindor-standin" --lifetime 300 --log "$side.log" $(controllers three); }
    local standin=$STANDIN_PID ready=""
    read -r -t 10 ready <&"${STANDIN[0]}" || true
    [ "$ready" = ready ] || { echo "wine_check: the stand-in did not start" >&2; exit 1; }
    local program=("$build/brevindor-web") limit=60 server url="" attempt
    [ "$side" = linux ] || program=("$WINE" "$win/brevindor-web.exe") limit=$WINE_RUN_LIMIT_S
    for attempt in 1 2; do
        "${program[@]}" --no-browser --interface 127.0.0.1 --timeout 1 --verify-time 5 --port "$port" --undo-dir undo \
            >"$side.out" 2>"$side.err" </dev/null &
        server=$!
        local deadline=$((SECONDS + limit))
        while [ -z "$url" ] && [ $SECONDS -lt $deadline ] && kill -0 "$server" 2>/dev/null; do
            sleep 0.2
            url=$(grep -m1 -o "^http://127.0.0.1:$port/?token=[0-9a-f]*" "$side.out" || true)
        done
        # As in run(): a start that hangs with nothing written or sent is tried once more.
        if [ -n "$url" ] || [ -s "$side.err" ] || [ -s "$side.log" ] || [ "$side" = linux ] || [ "$attempt" = 2 ]; then
            break
        fi
        kill "$server" 2>/dev/null || true
        wait "$server" 2>/dev/null || true
        retried=web
    done
    if [ -n "$url" ]; then
        web_calls "$url" "$port" >"$side.web"
    fi
    kill "$server" 2>/dev/null || true   # as Ctrl-C: nothing is running by now
    wait "$server" 2>/dev/null || true
    cat undo/* >"$side.file" 2>/dev/null || true
    kill "$standin" 2>/dev/null || true
    wait "$standin" 2>/dev/null || true
    [ -n "$url" ]
}

# The calls, each as "METHOD PATH: status", the headers that matter, then the body.
web_calls() {
    local url=$1 port=$2 token
    token=${url##*=}
    local base="http://127.0.0.1:$port"
    web_call() {
        local method=$1 path=$2 body=${3:-} send=()
        [ -z "$body" ] || send=(-H 'Content-Type: application/json' --data-binary "$body")
        local status
        status=$(curl -s -m 30 -X "$method" -b cookies -c cookies -D head -o body -w '%{http_code}' \
            "${send[@]}" "$base$path") || true
        echo "$method ${path//$token/TOKEN}: $status, $(wc -c <body) bytes"
        grep -iE '^(location|set-cookie|content-type|content-security-policy|x-content-type-options|cache-control):' head |
            tr -d '\r' | sort
        # The page's own files by their digest; JSON as it is, but for the time in the undo file's name.
        case $path in
        /api/*)
            perl -pe 's/("undo_file":")([^"]*)/$1 . ($2 =~ tr{0-9}{N}r)/e' body
            [ -z "$(tail -c 1 body)" ] || echo
            ;;
        *) sha256sum <body | cut -c1-16 ;;
        esac
        echo
    }
    # The job ends within the limit; prints its last state.
    web_wait() {
        local deadline=$((SECONDS + WINE_RUN_LIMIT_S))
        while [ $SECONDS -lt $deadline ]; do
            curl -s -m 30 -b cookies -o body "$base/api/job" || true
            grep -q '"running":false' body && break
            sleep 0.3
        done
        web_call GET /api/job
    }
    {
        web_call GET "/?token=$token"
        web_call GET /
        web_call GET /page.css
        web_call GET /page.js
        web_call GET /state.js
        web_call GET /api.js
        web_call GET /draw.js
        web_call GET /api/interfaces
        web_wait   # the scan at start
        web_call POST /api/scan '{}'
        web_wait
        web_call GET /api/controllers
        web_call POST /api/apply "$WEB_APPLY"
        web_wait
        web_call GET /api/outcomes
        web_call GET /api/undo
        web_call GET /api/controllers.csv   # the table as it stands after the apply
    } | sed "s/$token/TOKEN/g; s/$port/PORT/g"
}

# Prints and counts the result of the row just run, $found its differences: tally SHOWN KEY TITLE
# FILE..., where KEY is what WINE_CHECK_SHOW is looked for in, to show TITLE and the Windows side's
# FILEs.
tally() {
    local shown=$1 key=$2 title=$3
    shift 3
    [ -z "$retried" ] || echo "retried  $shown  (Wine started nothing within $WINE_RUN_LIMIT_S s; tried once more)"
    if [ -n "${WINE_CHECK_SHOW:-}" ] && [[ $key == *$WINE_CHECK_SHOW* ]]; then
        echo "--- under Wine: $title"
        sed 's/\r$//' "$@"
        echo "---"
    fi
    if [ -z "$found" ]; then
        echo "same     $shown"
        same=$((same + 1))
    else
        echo "differs  $shown"
        while IFS= read -r detail; do echo "    $detail"; done <<<"$found"
        differ=$((differ + 1))
    fi
}

same=0
differ=0
notrun=0
rows_start=$SECONDS
for row in "${rows[@]}"; do
    IFS='|' read -r input set sent line wine_env <<<"$row"
    [[ $line == *${WINE_CHECK_ROWS:-}* ]] || continue
    read -r -a args <<<"$line"
    if [ "$set" = segments ] && ! segments; then
        echo "not run  $line  (two segments need tools/segments.sh and the guard that follows links into them)"
        notrun=$((notrun + 1))
        continue
    fi
    retried=""
    run linux
    run wine
    if [[ $line == "batch doctor "* ]]; then
        found=$(doctor_differences)
    else
        found=$(differences)
    fi
    tally "$(row_shown "$input" "$line" "$wine_env")" "$line" "brevindor${line/#batch /-batch } (error output, then output)" \
        wine.err wine.out
done

# The web program: both sides' answers and datagrams the same, and what the calls must have done.
web_differences() {
    local side
    for side in linux wine; do
        [ -s "$side.web" ] || echo "$side: the server printed no address: '$(cat "$side.err")'"
    done
    if ! cmp -s linux.web wine.web; then
        echo "answers:"
        diff -u --label linux --label wine linux.web wine.web | tail -n +3
    fi
    normalise <wine.err | cmp -s linux.err - || echo "error output: '$(cat linux.err)' / '$(cat wine.err)'"
    if ! cmp -s linux.log wine.log; then
        echo "datagrams received:"
        diff -u --label linux --label wine linux.log wine.log | tail -n +3
    fi
    if ! cmp -s linux.file wine.file; then
        echo "undo file:"
        diff -u --label linux --label wine <(cat -A linux.file) <(cat -A wine.file) | tail -n +3
    fi
    [ -s linux.file ] || echo "linux: no undo file"
    local expected
    for expected in 'GET /?token=TOKEN: 303' 'GET /: 200' 'GET /page.js: 200' 'POST /api/scan: 202' 'POST /api/apply: 202' \
        'x-content-type-options: nosniff' '"state":"verified"' '00.1a.2b.3c.4d.02,192.168.1.50,'; do
        grep -qiF "$expected" linux.web || echo "linux: no '$expected' among the answers"
    done
    local rows
    rows=$(sed -n '/^GET \/api\/controllers:/,/^$/p' linux.web | grep -o '"mac":' | wc -l)
    [ "$rows" = 3 ] || echo "linux: $rows controllers listed, not 3"
    # The setting message went to controller 2 alone, once.
    local settings
    settings=$(awk '$2 == 28' linux.log)
    [ "$(wc -l <<<"$settings")" = 1 ] && [[ $settings == *" 00 1a 2b 3c 4d 02 "* ]] ||
        echo "linux: the settings sent: '$settings', expected one for 00:1a:2b:3c:4d:02"
}

# The journal's default place under Wine, the Windows side alone (the Linux one would be this
# user's own): none there at first, named in the prefix's %LOCALAPPDATA%, its folder made; then
# the journal made above, put there, checks as on Linux with --journal.
journal_default() {
    local rc=0 folder
    # The rows above that set and apply kept their journal there: this starts without one.
    find "$WINEPREFIX/drive_c/users" -maxdepth 5 -ipath '*/AppData/Local/brevindor/journal.jsonl' -delete 2>/dev/null || true
    timeout "$WINE_RUN_LIMIT_S" "$WINE" "$win/brevindor-batch.exe" journal --verify >wine.out 2>wine.err || rc=$?
    [ "$rc" = 1 ] || echo "exit value $rc with no journal, not 1"
    grep -qiE '^brevindor-batch: no journal at C:\\users\\[^\\]+\\AppData\\Local\\brevindor\\journal\.jsonl ' wine.err ||
        echo "error output: '$(cat wine.err)', not the journal in %LOCALAPPDATA%\\brevindor"
    folder=$(find "$WINEPREFIX/drive_c/users" -maxdepth 4 -ipath '*/AppData/Local/brevindor' -type d 2>/dev/null | head -1)
    if [ -z "$folder" ]; then
        echo "no folder brevindor in the prefix's AppData/Local"
        return
    fi
    cp journal.jsonl "$folder/journal.jsonl"
    rc=0
    timeout "$WINE_RUN_LIMIT_S" "$WINE" "$win/brevindor-batch.exe" journal --verify >wine.out 2>wine.err || rc=$?
    "$build/brevindor-batch" journal --verify --journal journal.jsonl >linux.out 2>linux.err || true
    normalise <wine.out | cmp -s linux.out - || echo "output: '$(cat linux.out)' / '$(cat wine.out)'"
    [ "$rc" = 0 ] || echo "exit value $rc with the journal there: '$(cat wine.err)'"
}
if [[ "journal default" == *${WINE_CHECK_ROWS:-}* ]]; then
    retried=""
    found=$(journal_default)
    tally "batch journal --verify  (the default place: %LOCALAPPDATA%\\brevindor\\journal.jsonl in the prefix)" \
        "journal default" "brevindor-batch journal --verify (error output, then output)" wine.err wine.out
fi

# The web row, after the others (WINE_CHECK_ROWS may leave it out).
wine_env=""
if [[ web == *${WINE_CHECK_ROWS:-}* ]]; then
    web_start=$SECONDS
    retried=""
    web_run linux || true
    web_run wine || true
    found=$(web_differences)
    tally "$WEB_ROW ($((SECONDS - web_start)) s)" web \
        "brevindor-web (error output, then the answers)" wine.err wine.web
fi
echo "wine_check: $arch: $same same, $differ differ, $notrun not run (rows $((SECONDS - rows_start)) s, in all $((SECONDS - start)) s)"
[ "$differ" = 0 ]
