#!/usr/bin/env bash
# ensure_packages (tools/packages.sh) against a mirror that fails: apt-get, dpkg, dpkg-query, id
# and sleep are stand-ins on PATH that log every call, fail apt-get update and the installs a given
# number of times, and keep the installed packages in a file. Nothing is installed, nothing waits.
#   tests/packages_check.sh tools/packages.sh
set -u
# Nothing here sends, but it runs inside a private namespace all the same, as every test here
# does: should a stand-in ever be missed, the real apt-get finds no network.
# shellcheck source=tools/netns_guard.sh
. "$(dirname "$0")/../tools/netns_guard.sh"
if [ "${1:-}" != "--in-private-ns" ]; then
    enter_private_netns -- "$@"
fi
shift
require_private_netns packages_check
packages=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
cat >"$work/bin/fake" <<'FAKE'
#!/usr/bin/env bash
# One stand-in for every command; its state in $FAKE_STATE.
s=$FAKE_STATE
log() { echo "$*" >>"$s/calls"; }
fails() {   # true (and one failure fewer) while $1's failures last
    local n
    n=$(cat "$s/fail-$1")
    [ "$n" -gt 0 ] || return 1
    echo $((n - 1)) >"$s/fail-$1"
}
case $(basename "$0") in
id) [ "$1" = -u ] && cat "$s/uid" ;;
sleep) log "sleep $1" ;;
dpkg-query) grep -qxF "${*: -1}" "$s/installed" && echo installed ;;
dpkg)
    case $1 in
    --print-foreign-architectures) cat "$s/archs" ;;
    --add-architecture) log "add-arch $2"; echo "$2" >>"$s/archs" ;;
    esac
    ;;
apt-get)
    case $1 in
    update)
        log update
        if fails update; then echo "E: File has unexpected size (374820 != 376004). Mirror sync in progress?" >&2; exit 100; fi
        ;;
    install)
        pkgs=()
        for a in "${@:2}"; do [[ $a == -* ]] || pkgs+=("$a"); done
        log "install ${pkgs[*]}"
        [ "${DEBIAN_FRONTEND:-}" = noninteractive ] || { echo "E: DEBIAN_FRONTEND is not noninteractive" >&2; exit 100; }
        kind=native
        [[ " ${pkgs[*]}" != *:i386* ]] || kind=i386
        if fails "$kind"; then echo "E: Unable to correct problems, you have held broken packages." >&2; exit 100; fi
        printf '%s\n' "${pkgs[@]}" >>"$s/installed"
        ;;
    esac
    ;;
esac
FAKE
chmod +x "$work/bin/fake"
for name in apt-get dpkg dpkg-query id sleep; do ln -s fake "$work/bin/$name"; done
export PATH="$work/bin:$PATH" FAKE_STATE="$work/state"
if [ "$(command -v apt-get)" != "$work/bin/apt-get" ]; then
    echo "packages_check: the stand-in apt-get is not the one found" >&2
    exit 1
fi

# One case a row: uid|installed|archs|update fails|native fails|i386 fails|PACKAGES_UNAVAILABLE|
# PACKAGES_RETRY_S|status|calls|a line of the output. Always asked for: a b w:i386. A count of
# fails is how many times that call fails before it works (9: always); - in the retry column:
# unset, so 60. After the call the caller prints "unavailable=$PACKAGES_UNAVAILABLE".
cases=(
    # Nothing missing: nothing run.
    "0|a b w:i386|i386|0|0|0||0|0||"
    # A fresh machine: the architecture first, one update, the machine's own packages, then i386.
    "0|||0|0|0||0|0|add-arch i386; update; install a b; install w:i386|t: installing a b w:i386"
    "0|a b||0|0|0||0|0|add-arch i386; update; install w:i386|unavailable="
    # The update retried, a minute apart by default; one that never works does not stop the installs.
    "0|||2|0|0||-|0|add-arch i386; update; sleep 60; update; sleep 60; update; install a b; install w:i386|t: apt-get update failed (try 2 of 3); trying again in 60 s"
    "0||i386|9|0|0||0|0|update; sleep 0; update; sleep 0; update; install a b; install w:i386|t: WARNING: apt-get update failed 3 times; installing with the package lists as they are"
    # An install retried after a fresh update; the machine's own packages must install.
    "0||i386|0|2|0||5|0|update; install a b; sleep 5; update; install a b; sleep 5; update; install a b; install w:i386|t: apt-get install a b failed (try 1 of 3); trying again in 5 s"
    "0||i386|0|9|0||0|1|update; install a b; sleep 0; update; install a b; sleep 0; update; install a b|t: FAILED: could not install a b (3 tries)"
    # The i386 ones may not: said, remembered, and the caller goes on.
    "0||i386|0|0|2||0|0|update; install a b; install w:i386; sleep 0; update; install w:i386; sleep 0; update; install w:i386|unavailable="
    "0||i386|9|0|9||0|0|update; sleep 0; update; sleep 0; update; install a b; install w:i386; sleep 0; update; install w:i386; sleep 0; update; install w:i386|t: WARNING: could not install w:i386 (3 tries); going on without them"
    "0||i386|9|0|9||0|0|update; sleep 0; update; sleep 0; update; install a b; install w:i386; sleep 0; update; install w:i386; sleep 0; update; install w:i386|unavailable=w:i386"
    # Given up on earlier in the run (an exported PACKAGES_UNAVAILABLE): not tried again.
    "0||i386|0|0|0|w:i386|0|0|update; install a b|t: not trying w:i386 again: it could not be installed earlier in this run"
    "0|a b|i386|0|0|0|w:i386|0|0||unavailable=w:i386"
    # Anyone but root is told the commands, the i386 step a line of its own, and stops.
    "1000|||0|0|0||0|1||  apt-get install --no-install-recommends a b"
    "1000|||0|0|0||0|1||  dpkg --add-architecture i386 && apt-get update && apt-get install --no-install-recommends w:i386"
    "1000|a b|i386|0|0|0||0|1||  apt-get install --no-install-recommends w:i386"
)
failed=0
for row in "${cases[@]}"; do
    IFS='|' read -r uid installed archs fail_update fail_native fail_i386 unavailable retry status calls line <<<"$row"
    rm -rf "$FAKE_STATE"
    mkdir "$FAKE_STATE"
    echo "$uid" >"$FAKE_STATE/uid"
    tr ' ' '\n' <<<"$installed" >"$FAKE_STATE/installed"
    printf '%s' "${archs:+$archs$'\n'}" >"$FAKE_STATE/archs"
    echo "$fail_update" >"$FAKE_STATE/fail-update"
    echo "$fail_native" >"$FAKE_STATE/fail-native"
    echo "$fail_i386" >"$FAKE_STATE/fail-i386"
    : >"$FAKE_STATE/calls"
    # As the callers run it: under set -e.
    setting=(-u PACKAGES_RETRY_S)
    [ "$retry" = - ] || setting=(PACKAGES_RETRY_S="$retry")
    got_status=0
    # shellcheck disable=SC2016 # expanded by that shell
    out=$(env "${setting[@]}" PACKAGES_UNAVAILABLE="$unavailable" bash -c 'set -euo pipefail; . "$1"; ensure_packages t a b w:i386; echo "unavailable=${PACKAGES_UNAVAILABLE:-}"' \
        _ "$packages" 2>&1) || got_status=$?
    got_calls=$(paste -sd ';' "$FAKE_STATE/calls" | sed 's/;/; /g')
    problem=""
    [ "$got_status" = "$status" ] || problem+=" status $got_status, expected $status;"
    [ "$got_calls" = "$calls" ] || problem+=" calls '$got_calls';"
    [ -z "$line" ] || grep -qxF -- "$line" <<<"$out" || problem+=" no line '$line';"
    if [ -n "$problem" ]; then
        echo "packages_check: $row:$problem output:"$'\n'"$out" >&2
        failed=1
    fi
done
exit $failed
