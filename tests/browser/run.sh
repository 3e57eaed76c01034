#!/usr/bin/env bash
# Runs the page's tests in a private network namespace made for them: its rules under node
# (state_test.mjs), then the page in headless chromium (page_test.py) with the stand-in and
# brevindor-web, all inside, nothing on a real network.
#   run.sh WEB STANDIN
# Exits 77 (skipped) where namespaces or the browser are missing, unless BREVINDOR_REQUIRE_NETNS
# is set (CI), where that fails.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../tools/netns_guard.sh"

unavailable() {
    echo "browser test: $1" >&2
    [ -n "${BREVINDOR_REQUIRE_NETNS:-}" ] && exit 1
    exit 77
}

if [ "${1:-}" != "--in-private-ns" ]; then
    for need in /usr/bin/chromium /usr/bin/chromedriver; do
        [ -x "$need" ] || unavailable "$need is missing (tools/packages.sh installs it)"
    done
    /usr/bin/python3 -c 'import selenium' 2>/dev/null || unavailable "python3-selenium is missing"
    command -v node >/dev/null || unavailable "node is missing (tools/packages.sh installs nodejs)"
    # axe-core, pinned in package-lock.json, from the npm registry: nothing reaches it from inside.
    if [ ! -f "$here/node_modules/axe-core/axe.min.js" ]; then
        command -v npm >/dev/null || unavailable "npm is missing (tools/packages.sh installs it)"
        (cd "$here" && npm ci --no-audit --no-fund --loglevel=error >&2) || unavailable "npm ci could not install axe-core"
    fi
    unshare --net true 2>/dev/null || unshare --map-root-user --net true 2>/dev/null ||
        unavailable "no private network namespace can be made here"
    enter_private_netns -- "$@"
fi
shift
require_private_netns "browser test"
ip link set lo up
# The page's applies go to a journal of this run's own, never to the user's.
state=$(mktemp -d /tmp/brevindor-browser-state.XXXXXX)
export XDG_STATE_HOME=$state
trap 'rm -rf "$state"' EXIT
if ! rules=$(node --test "$here/state_test.mjs" 2>&1); then
    echo "$rules" >&2
    exit 1
fi
echo "page rules: passed"
/usr/bin/python3 "$here/launch_test.py" "$@"
/usr/bin/python3 "$here/page_test.py" "$@"
