#!/usr/bin/env bash
# scripts/setup against a mirror in the middle of a sync, as dry runs
# (apt-get install -s): an apt-get stand-in fails the way such a mirror does
# and hands every other call to the real apt-get, simulating.
#
#   a failed index        -> reported, and the install goes on;
#   no twin on i386       -> the install is retried against the point release;
#   nothing resolves      -> set-up stops, naming what could not be installed.
#
# Last line: "N passed, N failed".
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
passed=0 failed=0

cat >"$tmp/apt" <<'STUB'
#!/usr/bin/env bash
# MODE: index (update fails), twin (install fails unless -t bookworm),
# broken (wine32:i386 never resolves).
case "$1" in
update) [ "$MODE" = index ] || [ "$MODE" = twin ] && {
            echo "E: Failed to fetch .../binary-i386/Packages.xz  File has unexpected size. Mirror sync in progress?"
            exit 100; }
        exit 0 ;;
install)
    case " $* " in *" -s "*) ;; *) echo "stub: install without -s" >&2; exit 2 ;; esac
    if [ "$MODE" = twin ] && [[ " $* " != *" -t bookworm "* ]] ||
       [ "$MODE" = broken ] && [[ " $* " == *" wine32:i386 "* ]]; then
        echo "E: Unable to correct problems, you have held broken packages."
        exit 100
    fi
    [ "$MODE" = broken ] && exit 0  # the rest resolves: no need to ask apt-get
    exec apt-get "$@" ;;
esac
exit 2
STUB
chmod +x "$tmp/apt"

# expect NAME MODE RC PATTERN...: set-up's exit status and lines it printed.
expect() {
    local name=$1 mode=$2 rc=$3 out got ok=1; shift 3
    out=$(MODE=$mode VORLO_SETUP_DRY_RUN=1 VORLO_SETUP_APT="$tmp/apt" \
          timeout 600 bash "$root/scripts/setup" 2>&1 </dev/null)
    got=$?
    [ "$got" = "$rc" ] || ok=0
    for pattern in "$@"; do grep -qF -- "$pattern" <<<"$out" || ok=0; done
    if [ "$ok" = 1 ]; then
        passed=$((passed + 1)); echo "ok   $name"
    else
        failed=$((failed + 1)); echo "FAIL $name: exit $got (wanted $rc); the output ends:"; tail -8 <<<"$out"
    fi
}

expect "a failed index is reported, the install goes on" index 0 \
    "setup: some package indexes could not be fetched" "setup: done"
expect "an install that cannot resolve is retried against the point release" twin 0 \
    "setup: the install failed; retrying against the point release (-t bookworm)" "setup: done"
expect "when the point release fails too, set-up stops naming the package" broken 1 \
    "setup: could not install: wine32:i386"
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
