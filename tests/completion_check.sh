#!/usr/bin/env bash
# The bash completion of brevindor-batch, driven as bash drives it: words so far, the word being
# completed, the candidates offered. Runs no program of the project.
#   tests/completion_check.sh tools/completion/brevindor-batch.bash
set -u
# It starts none of the programs, but runs inside a private namespace all the same, as every test
# here does (the interface names it completes are this namespace's).
. "$(dirname "$0")/../tools/netns_guard.sh"
if [ "${1:-}" != "--in-private-ns" ]; then
    enter_private_netns -- "$@"
fi
shift
require_private_netns completion_check
# shellcheck source=/dev/null
source "$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" && touch line4.csv before.csv
failed=0
check() {   # expected candidates, then the words; the last word is the one completed
    local expected=$1
    shift
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMPREPLY=()
    _brevindor_batch
    local got
    got=""
    [ ${#COMPREPLY[@]} = 0 ] || got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ')
    if [ "$got" != "$expected" ]; then
        echo "completion_check: '$*': got '$got', expected '$expected'" >&2
        failed=1
    fi
}
check "scan " brevindor-batch sc
check "apply doctor journal replace report scan set watch " brevindor-batch ""
check "journal " brevindor-batch jo
check "--verify " brevindor-batch journal --v
check "--journal " brevindor-batch apply line4.csv --jo
check "--no-journal " brevindor-batch set --no-j
check "--journal " brevindor-batch report --j
check "before.csv line4.csv " brevindor-batch journal --journal ""
check "" brevindor-batch report --since ""
check "" brevindor-batch report --title ""
check "watch " brevindor-batch w
check "--every --format --gone-after --help --interface --max-time " brevindor-batch watch --
check "json table " brevindor-batch watch --format ""
check "" brevindor-batch watch --every ""
check "" brevindor-batch watch --gone-after ""
check "doctor " brevindor-batch do
check "--format --help --interface --timeout " brevindor-batch doctor --
check "json table " brevindor-batch doctor --format ""
check "--mac --mask --max-time " brevindor-batch set --m
check "--dry-run " brevindor-batch apply line4.csv --d
check "--settle " brevindor-batch set --se
check "" brevindor-batch apply --settle ""
check "--bom " brevindor-batch scan --format csv --b
check "--bom " brevindor-batch set --b
check "csv json table " brevindor-batch scan --format ""
check "json " brevindor-batch apply --format = j
check "all " brevindor-batch scan --interface al
check "before.csv " brevindor-batch set --mac 00:1a:2b:3c:4d:01 --undo b
check "line4.csv " brevindor-batch apply l
check "" brevindor-batch set --ip ""
check "--bom --format --help --interface --max-time --timeout " brevindor-batch scan --
exit $failed
