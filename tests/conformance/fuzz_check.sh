#!/usr/bin/env bash
# The fuzz targets as a check: a short run of each (scripts/fuzz, 20 s a
# target unless VORLO_FUZZ_SECONDS says otherwise), then every committed
# regression input under tests/fuzz/regressions/TARGET/ through its target.
# A target passes when its run found nothing and all its regressions run
# clean. Last line: "N passed, N failed", one count per target.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
seconds=${VORLO_FUZZ_SECONDS:-20}
logs="$root/build/fuzz/check-logs"
mkdir -p "$logs"

targets=()
for src in tests/fuzz/fuzz_*.cpp; do
    t=${src#tests/fuzz/fuzz_}; targets+=("${t%.cpp}")
done

passed=0
failed=0
for t in "${targets[@]}"; do
    ok=1
    # The run; it also builds build/fuzz on the first call.
    if ! VORLO_FUZZ_LOGS="$logs" timeout $((seconds + 600)) scripts/fuzz "$seconds" "$t"; then
        ok=0
    fi
    exe=build/fuzz/bin/fuzz-$t
    if [ -d "tests/fuzz/regressions/$t" ] && [ -x "$exe" ]; then
        for input in tests/fuzz/regressions/"$t"/*; do
            [ -f "$input" ] || continue
            if ! timeout 60 "$exe" -timeout=10 -rss_limit_mb=2048 "$input" >"$logs/$t-replay.log" 2>&1; then
                echo "fuzz_check: $t: regression $(basename "$input") fails:"
                grep -E 'ERROR|runtime error|SUMMARY|fuzz-[a-z]+: ' "$logs/$t-replay.log" | head -5
                ok=0
            fi
        done
    elif [ ! -x "$exe" ]; then
        ok=0
    fi
    if [ $ok = 1 ]; then
        echo "PASS $t"
        passed=$((passed + 1))
    else
        echo "FAIL $t"
        failed=$((failed + 1))
    fi
done
echo "$passed passed, $failed failed"
[ $failed = 0 ]
