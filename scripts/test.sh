#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the native suite, then the Windows
# deliverables cross-built and tested under Wine. Exits non-zero when any test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh
ctest --test-dir build --output-on-failure -j"$(nproc)"
./scripts/windows-test.sh
