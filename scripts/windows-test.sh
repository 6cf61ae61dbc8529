#!/usr/bin/env bash
# Cross-builds the Windows deliverables (Zonepainter.aex and Zonepainter.dll) with mingw-w64
# into build-win/, checks that they import nothing but Windows' own libraries and export only
# their entry points, and runs the Windows test host under Wine (private prefix in
# build-win/wine-prefix). Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."
ZP_WINDOWS=1 ./scripts/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows
ctest --preset windows
