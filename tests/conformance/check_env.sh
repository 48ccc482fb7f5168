# Sourced by the shell checks of tests/conformance with the check's own
# arguments (". check_env.sh "$@""):
#   $ROOT        the source tree
#   $BUILD       the build folder: the first argument, a path or a folder
#                below $ROOT (default build/native)
#   pass NAME, fail NAME WHY, finish
#                count into $passed and $failed; finish prints the last line
#                "N passed, N failed" and exits, non-zero on any failure
#   need_tools TOOL... [-- HINT]
#                a missing tool (a command or a path) fails "setup", with
#                HINT, and finishes
#   $WORK        a fresh temporary folder, removed on exit
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD=${1:-build/native}
if [[ ! -d $BUILD && -d $ROOT/$BUILD ]]; then BUILD=$ROOT/$BUILD; fi

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "ok    $1"; }
fail() { failed=$((failed + 1)); echo "FAIL  $1: $2"; }
finish() { echo "$passed passed, $failed failed"; [[ $failed -eq 0 ]]; exit $?; }

need_tools() {
    local tools=() hint=
    while [[ $# -gt 0 && $1 != -- ]]; do tools+=("$1"); shift; done
    [[ $# -gt 1 ]] && hint=" ($2)"
    for tool in "${tools[@]}"; do
        if ! command -v "$tool" >/dev/null 2>&1; then
            fail "setup" "$tool not found$hint"
            finish
        fi
    done
}

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
