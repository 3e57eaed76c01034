#!/usr/bin/env bash
# Runs the Linux build and the Windows build of brevindor side by side on command lines that are
# refused before anything is sent, and compares what they print, byte for byte.
#
# What this checks is the Windows C runtime and command processor as Wine supplies them: text-mode
# line ends, system("PAUSE"), strerror texts and the dotted-address conversion. It runs a 64-bit
# Windows build of the same sources (cmake/mingw-x86_64.cmake) under a 64-bit Wine, because this
# machine's kernel can't run 32-bit x86 programs. It does NOT test the 32-bit program that is
# shipped (build-win, cmake/mingw-i686.cmake): its compiler, Winsock import library and pointer
# size differ.
#
# Needs g++-mingw-w64-x86-64, wine64 (alone is enough: no i386 architecture, no `wine` package),
# cmake, g++, iproute2 and util-linux. Run as root (as CI does); a user allowed to create user
# namespaces is let in too, but that way has not been tried.
#
# Every run, of either build and of Wine's own prefix creation (Wine's Winsock uses the host's
# network), happens inside a private network namespace that this script makes for itself; it
# refuses to run in any namespace that has an interface other than loopback.
#   tools/wine_check.sh        exit 0 when every case prints the same
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build"
win="$top/build-win64"

if [ "${1:-}" != "--in-private-ns" ]; then
    cmake -S "$top" -B "$win" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-x86_64.cmake" >/dev/null
    cmake --build "$win" -j "$(nproc)" >/dev/null
    if [ ! -f "$build/CMakeCache.txt" ]; then
        cmake -S "$top" -B "$build" >/dev/null
    fi
    cmake --build "$build" -j "$(nproc)" --target brevindor >/dev/null
    if [ "$(id -u)" = 0 ]; then
        exec unshare --net --uts "$0" --in-private-ns
    else
        exec unshare --map-root-user --net --uts "$0" --in-private-ns
    fi
fi

# Refuse first, before the host name or any link is touched, if this namespace has any way out.
if ip -o link show | grep -v -q ': lo:'; then
    echo "wine_check: not in a private network namespace" >&2
    exit 1
fi
ip link set lo up
hostname brevindor-wine

# Debian's wine64 puts its loader in /usr/lib/wine and nothing on PATH.
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
export WINEPREFIX="$win/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

start=$SECONDS
work=$(mktemp -d "$win/wine-check.XXXXXX")
# Wine's server and helpers outlive the last program by a few seconds: end them with the check.
trap '"$wineserver" -k 2>/dev/null || true; rm -rf "$work"' EXIT
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    # A throw-away prefix; its "failed to open ...syswow64\rundll32.exe" is the missing 32-bit half.
    "$wine" wineboot --init 2>/dev/null
    echo "wine_check: made the Wine prefix in $((SECONDS - start)) s"
fi
cd "$work"   # relative file names are looked up here, by both builds

# One argument vector a line, split at spaces; every one is refused by the command-line reader.
cases=(
    "scan"
    "-X"
    "-T"
    "-R -T 0"
    "-R x"
    "-R -X 1"
    "-R -F"
    "-R -F missing/out.txt"
    "-W"
    "-W x"
    "-W -Q 1"
    "-W -I"
    "-W -G"
    "-W -M"
    "-W -I 10.0.0.256"
    "-W -I 192.168.001.010"
    "-W -I 255.255.255.255 -Q 1"
)
# Known and left out: "-R -F ." (a directory) ends "Is a directory" on Linux and "Permission
# denied" on Windows, whose C runtime gives EACCES there.

# What must differ, made equal on the Windows side only:
# - the C runtime's text mode writes CRLF for each line end: CRLF becomes LF (a lone CR stays);
# - Wine's cmd words the pause "Press any key to continue... " and, when input ends, writes no line
#   end after it; at the very end it becomes the Linux build's "Press any key to continue . . . ".
normalise() {
    perl -0777 -pe 's/\r\n/\n/g; s/Press any key to continue\.\.\. \n?\z/Press any key to continue . . . \n/'
}

same=0
differ=0
for line in "${cases[@]}"; do
    read -r -a args <<<"$line"
    linux_rc=0
    "$build/brevindor" "${args[@]}" </dev/null >linux.out 2>/dev/null || linux_rc=$?
    wine_rc=0
    "$wine" "$win/brevindor.exe" "${args[@]}" </dev/null >wine.raw 2>/dev/null || wine_rc=$?
    normalise <wine.raw >wine.out
    if cmp -s linux.out wine.out && [ "$linux_rc" = "$wine_rc" ]; then
        echo "same     $line"
        same=$((same + 1))
    else
        echo "differs  $line (exit $linux_rc on Linux, $wine_rc under Wine)"
        diff -u --label linux <(cat -A linux.out) --label wine <(cat -A wine.out) || true
        differ=$((differ + 1))
    fi
done
echo "wine_check: $same same, $differ differ ($((SECONDS - start)) s)"
[ "$differ" = 0 ]
