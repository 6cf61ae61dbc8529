#!/usr/bin/env bash
# Sanitizer runs with clang-14 (CMakePresets.json):
#   asan  the whole ctest suite under AddressSanitizer and UndefinedBehaviorSanitizer, float
#         conversion and division checks on the image code; any report fails its test
#   tsan  the parallel image tests (test_fx, test_color, test_render, which holds the multi-frame
#         and kept-results tests, and the hostile-pixel and guarded-world end-to-end tests), hosts
#         rendering on several threads at once (the compute cache and multi-frame host too), and
#         sequences set up and down on several threads, under
#         ThreadSanitizer, with libomp's archer tool so OpenMP's own synchronisation is understood
# Usage: scripts/sanitize.sh [asan|tsan|all]   (default all). Exits non-zero on any report or
# failed test. Build folders: build-asan, build-tsan.
set -euo pipefail
cd "$(dirname "$0")/.."
what=${1:-all}
case "$what" in asan | tsan | all) ;; *)
    echo "usage: $0 [asan|tsan|all]" >&2
    exit 2
    ;;
esac
ZP_WINDOWS=0 ./scripts/install-deps.sh
jobs=$(nproc)
started=$SECONDS

stage() { printf '== %s (%ds)\n' "$1" $((SECONDS - started)); }

if [[ $what == asan || $what == all ]]; then
    stage "asan: configure and build"
    cmake --preset asan >/dev/null
    cmake --build --preset asan -- --quiet >/dev/null
    stage "asan: ctest"
    # The preset sets ASAN_OPTIONS, UBSAN_OPTIONS and the libomp leak suppression; every
    # sanitizer stops the program at its first report (-fno-sanitize-recover=all).
    ctest --preset asan -j"$jobs" --timeout 900
fi

if [[ $what == tsan || $what == all ]]; then
    stage "tsan: configure and build"
    cmake --preset tsan >/dev/null
    cmake --build --preset tsan -- --quiet >/dev/null
    archer=$(dpkg -L libomp-14-dev 2>/dev/null | grep '/libarcher\.so$' | head -n1 || true)
    if [[ -z $archer ]]; then
        echo "libarcher.so not found (libomp-14-dev): OpenMP barriers would look like races" >&2
        exit 1
    fi
    export OMP_TOOL_LIBRARIES=$archer
    # The uninstrumented parts (libomp, libstdc++, GoogleTest) are left to archer's
    # annotations; three threads on two cores give each loop more than one partition edge.
    export TSAN_OPTIONS="ignore_noninstrumented_modules=1 halt_on_error=1 exitcode=66"
    export OMP_NUM_THREADS=3
    # The static runtime's operator new wins over the blur tests' own, so the test that has
    # its replacement refuse the scratch block can't run here.
    runs=("test_fx --gtest_filter=-BlurFilterApply.ScratchRefusedLeavesTheBufferAlone"
        "test_color" "test_render"
        "test_reliability --gtest_filter=HostilePixels.*:GuardedWorlds.*"
        "test_headless --gtest_filter=ConcurrentHosts.*:ComputeCache.*:MultiFrame.*"
        "test_effect --gtest_filter=InstanceBinding.*:SequenceLifecycle.*")
    for run in "${runs[@]}"; do
        read -r t args <<<"$run"
        stage "tsan: $t"
        # shellcheck disable=SC2086
        "build-tsan/bin/$t" --gtest_brief=1 $args
    done
fi
stage "done"
