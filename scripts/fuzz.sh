#!/usr/bin/env bash
# Runs each libFuzzer target (CMakePresets.json "fuzz", clang-14 with address and undefined
# checks) for FUZZ_SECONDS seconds (default 60) with one OpenMP thread, starting from the
# committed corpus and crashers. New inputs go to build-fuzz/corpus/<target>, never into the
# repository. A crash is minimised into fuzz/regressions/<target>/ (commit it once fixed: ctest
# replays that folder in every build) and makes the script fail after the other targets ran.
# Usage: scripts/fuzz.sh [target...]   targets: scene render commands (default all)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}
targets=("$@")
((${#targets[@]})) || targets=(scene render commands)
ZP_WINDOWS=0 ./scripts/install-deps.sh
started=$SECONDS

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -- --quiet >/dev/null
echo "== built ($((SECONDS - started))s)"

declare -A maxLen=([scene]=4096 [render]=4096 [commands]=512)
export OMP_NUM_THREADS=1
failed=0
for t in "${targets[@]}"; do
    [[ -n ${maxLen[$t]:-} ]] || { echo "unknown target $t" >&2; exit 2; }
    work=build-fuzz/corpus/$t
    artifacts=build-fuzz/artifacts/$t
    mkdir -p "$work" "$artifacts" "fuzz/regressions/$t"
    dict=()
    [[ -f fuzz/$t.dict ]] && dict=(-dict="fuzz/$t.dict")
    log=build-fuzz/fuzz_$t.log
    set +e
    "build-fuzz/bin/fuzz_$t" -max_total_time="$seconds" -max_len="${maxLen[$t]}" -timeout=20 \
        -print_final_stats=1 -artifact_prefix="$artifacts/" "${dict[@]}" \
        "$work" "fuzz/corpus/$t" "fuzz/regressions/$t" >"$log" 2>&1
    rc=$?
    set -e
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
    if ((rc != 0)); then
        failed=1
        crash=$(ls -t "$artifacts"/crash-* "$artifacts"/leak-* "$artifacts"/timeout-* \
            "$artifacts"/oom-* 2>/dev/null | head -n1 || true)
        echo "fuzz_$t: FAILED after ${runs} runs; see $log"
        grep -m5 -E 'ERROR|runtime error|fuzz check failed' "$log" || true
        if [[ -n $crash ]]; then
            kept=fuzz/regressions/$t/$(basename "$crash")
            "build-fuzz/bin/fuzz_$t" -minimize_crash=1 -max_total_time=60 \
                -exact_artifact_path="$kept" "$crash" >"$log.minimize" 2>&1 || true
            [[ -f $kept ]] || cp "$crash" "$kept"
            echo "fuzz_$t: input kept as $kept"
        fi
    else
        echo "fuzz_$t: ${runs} runs in ${seconds}s, no crash"
    fi
done
echo "== done ($((SECONDS - started))s)"
exit "$failed"
