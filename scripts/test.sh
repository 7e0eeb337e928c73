#!/bin/bash
# Builds the three targets (native with sanitizers, win64, win32) and the
# two zip packages, and runs every check: static analysis, the fuzz targets
# for a bounded time (FUZZ_SECONDS per target, default 30), the native
# suite, the Windows suite under Wine, then the packages.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/native -j"$jobs"

cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
      -DCMAKE_BUILD_TYPE=Release -DMP_RUN_WINE_TESTS=ON >/dev/null
cmake --build build/win64 -j"$jobs"

# 32-bit Windows programs cannot run here, but the build must stay whole:
# most plug-ins live in the 32-bit registry view.
cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win32 -j"$jobs"

# The portable packages, made by CPack from each Windows build.
cmake --build build/win64 --target package >/dev/null
cmake --build build/win32 --target package >/dev/null

bash scripts/static-analysis.sh
bash scripts/fuzz.sh "${FUZZ_SECONDS:-30}"

# -V shows the reliability figures the native suite prints.
ctest --test-dir build/native --output-on-failure -V
ctest --test-dir build/win64 --output-on-failure -V
bash scripts/check-packages.sh
