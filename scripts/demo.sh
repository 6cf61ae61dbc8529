#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job.
set -euo pipefail
cd "$(dirname "$0")/.."
ZP_WINDOWS=0 ./scripts/install-deps.sh
./scripts/build.sh
./build/bin/zonepainter demo
