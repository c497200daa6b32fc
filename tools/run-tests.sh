#!/usr/bin/env bash
# Builds everything from scratch into build/ and runs every test: the Linux suite, the Debian
# package (made, installed and tried), then the Windows build under Wine (the window too once the
# Qt for MinGW is built).
set -euo pipefail
cd "$(dirname "$0")/.."
# Compiled objects are reused across clones and runs (CI runs in a fresh clone each time): the
# compiler cache keys on paths relative to the clone. CMake and the scripts below take these.
if command -v ccache >/dev/null; then
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=true
fi
werror=OFF
if [ "${CI:-}" = "true" ]; then werror=ON; fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMTSRESCUE_WERROR="$werror"
cmake --build build -j "$(nproc)"
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)")
if [ -x tools/test-package.sh ]; then
  tools/test-package.sh
fi
if [ -x tools/test-windows.sh ]; then
  tools/test-windows.sh
fi
