#!/usr/bin/env bash
# Cross-builds the Windows deliverables (Zonepainter.aex and Zonepainter.dll) with mingw-w64
# into build-win/, checks that they import nothing but Windows' own libraries and export only
# their entry points, and runs the Windows test host under Wine (private prefix in
# build-win/wine-prefix). The host leaves its renders of a shared test frame in
# build-win/windows-render/; the native build (build/, or ZP_NATIVE_BUILD_DIR) then renders the
# same frame and compares. Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."
ZP_WINDOWS=1 ./scripts/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows
rm -rf build-win/windows-render
ctest --preset windows

native="${ZP_NATIVE_BUILD_DIR:-build}"
if [[ ! -f "$native/CMakeCache.txt" ]]; then
  cmake -S . -B "$native" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$native" --target test_render -j2
ZP_WINDOWS_RENDER_DIR="$PWD/build-win/windows-render" OMP_NUM_THREADS=2 \
  "$native/bin/test_render" --gtest_filter='CrossPlatformRender.*'
