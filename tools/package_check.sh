#!/usr/bin/env bash
# Checks the Debian package from end to end: a Release build in its own build directory, cpack -G DEB,
# the package's contents, apt-get install of the .deb (which checks its dependencies), the man
# pages, one scan by the installed brevindor against the installed stand-in inside a private network
# namespace made for it, and the removal of the package. Needs root; fails on any error.
#   tools/package_check.sh          (BUILD_DIR=build-pkg by default)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/${BUILD_DIR:-build-pkg}"
start=$SECONDS
. "$top/tools/netns_guard.sh"

fail() {
    echo "package_check: FAILED: $*" >&2
    exit 1
}

# The scan, run by the script itself inside the private namespace that it made (see below).
scan_in_private_ns() {
    require_private_netns package_check
    ip link set lo up
    coproc STANDIN { exec /usr/bin/brevindor-standin --lifetime 60 \
        --controller "mac=00.1a.2b.3c.4d.01,ip=192.168.1.21,name=Package-Check"; }
    local ready=""
    read -r -t 10 ready <&"${STANDIN[0]}" || true
    [ "$ready" = ready ] || fail "the installed brevindor-standin did not start"

    # Interface 1 (127.0.0.1, the only address here), then the pause reads the line's end.
    local out rc=0
    out=$(printf '1\n' | timeout 30 /usr/bin/brevindor -R -T 1 2>&1) || rc=$?
    local json brc=0
    json=$(timeout 30 /usr/bin/brevindor-batch scan --interface 127.0.0.1 --timeout 1 --format json) || brc=$?
    kill "$STANDIN_PID" 2>/dev/null || true
    wait "$STANDIN_PID" 2>/dev/null || true
    local web wrc=0
    web=$(timeout 10 /usr/bin/brevindor-web --version) || wrc=$?

    local problem=""
    [ "$rc" = 255 ] || problem="exit status $rc, expected 255"
    grep -qxF 'There is only 1 online controller.' <<<"$out" || problem="no count line for one controller"
    grep -qF 'Package-Check' <<<"$out" || problem="the controller's node name is not shown"
    [ "$brc" = 0 ] || problem="brevindor-batch exit status $brc, expected 0"
    grep -qF '"node_name": "Package-Check"' <<<"$json" || problem="brevindor-batch did not find the controller"
    { [ "$wrc" = 0 ] && grep -q '^brevindor-web ' <<<"$web"; } || problem="brevindor-web --version: exit $wrc, '$web'"
    if [ -n "$problem" ]; then
        printf '%s\n' "$out" >&2
        fail "installed brevindor: $problem"
    fi
    echo "package_check: the installed brevindor and brevindor-batch found the one simulated controller;" \
        "the installed brevindor-web starts"
}

if [ "${1:-}" = "--in-private-ns" ]; then
    scan_in_private_ns
    exit 0
fi

[ "$(id -u)" = 0 ] || fail "needs root, to install and remove the package"
status=$(dpkg-query -W -f='${db:Status-Status}' brevindor 2>/dev/null || true)
if [ -n "$status" ] && [ "$status" != not-installed ]; then
    fail "brevindor is already on this machine ($status); remove it first (apt-get purge brevindor)"
fi

# Build and package.
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBREVINDOR_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" >/dev/null
rm -f "$build"/brevindor_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/brevindor_*.deb)
if [ ${#debs[@]} != 1 ] || [ ! -f "${debs[0]}" ]; then
    fail "cpack made no single brevindor_*.deb"
fi
deb=${debs[0]}
echo "package_check: built $(basename "$deb")"

# Contents: the programs, the bash completion, the man pages and the copyright file, nothing else
# (no tests).
expected="./usr/bin/brevindor
./usr/bin/brevindor-batch
./usr/bin/brevindor-standin
./usr/bin/brevindor-web
./usr/share/bash-completion/completions/brevindor-batch
./usr/share/doc/brevindor/copyright
./usr/share/man/man1/brevindor-batch.1.gz
./usr/share/man/man1/brevindor-standin.1.gz
./usr/share/man/man1/brevindor-web.1.gz
./usr/share/man/man1/brevindor.1.gz"
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort)
[ "$files" = "$expected" ] || fail "unexpected file list:"$'\n'"$files"
depends=$(dpkg-deb -f "$deb" Depends)
case "$depends" in
*libc6*libstdc++6*) ;;
*) fail "Depends lacks libc6 or libstdc++6: '$depends'" ;;
esac
# The journal's SHA-256 comes from nettle (brevindor-batch, brevindor-web); the classic program links none of it.
case "$depends" in
*libnettle8*) ;;
*) fail "Depends lacks libnettle8: '$depends'" ;;
esac
echo "package_check: Depends: $depends"

# Install; from here on the package is removed again however the script ends.
remove_package() {
    if [ "$(dpkg-query -W -f='${db:Status-Status}' brevindor 2>/dev/null || true)" = installed ]; then
        DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq brevindor >/dev/null ||
            { echo "package_check: FAILED: could not remove brevindor" >&2; exit 1; }
    fi
}
trap remove_package EXIT
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null ||
    fail "apt-get install $deb"

# Man pages: found by man, and no warnings from the formatter.
[ -f /usr/share/man/man1/brevindor.1.gz ] || fail "/usr/share/man/man1/brevindor.1.gz is missing"
[ "$(man -w brevindor)" = /usr/share/man/man1/brevindor.1.gz ] || fail "man -w brevindor: $(man -w brevindor 2>&1)"
for page in brevindor brevindor-batch brevindor-standin brevindor-web; do
    warnings=$(MANWIDTH=80 man --warnings -l "/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man page $page(1) has warnings:"$'\n'"$warnings"
done
echo "package_check: man pages installed, no warnings"

# One scan with the installed programs, in a new network namespace: nothing reaches a real network.
unshare --net --uts "$0" --in-private-ns

remove_package
trap - EXIT
[ ! -e /usr/bin/brevindor ] || fail "/usr/bin/brevindor is still there after the removal"
echo "package_check: passed in $((SECONDS - start)) s (package installed, used and removed)"
