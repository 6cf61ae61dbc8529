#!/usr/bin/env bash
# Installs what building and testing Zonepainter needs on Debian 12, skipping what is there.
set -euo pipefail
packages=(
  build-essential cmake pkg-config g++ clang-14 libclang-rt-14-dev libomp-14-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libopenimageio-dev nlohmann-json3-dev libcli11-dev
  # the Python module: Debian's interpreter headers and pybind11; NumPy for its arrays; pytest and
  # OpenImageIO's binding (pictures for the command line in its tests)
  python3-dev pybind11-dev python3-pybind11 python3-numpy python3-pytest python3-openimageio
  # `pip install .` of the module (setuptools driving CMake), tested in a fresh virtual environment
  python3-pip python3-setuptools python3-wheel python3-venv
  # the farm: Dask's scheduler and workers
  python3-dask python3-distributed
  # the studio: its web server, and headless Chromium driven by Selenium for the page's test
  python3-aiohttp chromium chromium-driver python3-selenium
)
if [[ "${ZP_WINDOWS:-1}" == 1 ]]; then
  packages+=(mingw-w64 g++-mingw-w64-x86-64-posix wine64)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [[ $(id -u) -ne 0 ]] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
