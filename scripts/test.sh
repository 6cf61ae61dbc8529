#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the native suite, the Windows
# deliverables cross-built and tested under Wine, the sanitizer builds (ASan/UBSan over the
# whole suite, TSan over the parallel image tests) and a minute of each fuzzer. Exits non-zero
# when any of them fails.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
stage() { printf '\n=== %s (%ds)\n' "$1" $((SECONDS - started)); }
stage "install"
./scripts/install-deps.sh
stage "native build"
./scripts/build.sh
stage "native tests"
ctest --test-dir build --output-on-failure -j"$(nproc)"
stage "windows deliverables"
./scripts/windows-test.sh
stage "sanitizers"
./scripts/sanitize.sh all
stage "fuzzers"
./scripts/fuzz.sh
stage "all passed"
