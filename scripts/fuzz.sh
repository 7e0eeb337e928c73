#!/bin/bash
# Builds the libFuzzer targets with clang and runs each for a bounded time
# from the seed corpus in tests/fuzz/corpus (new finds go to build/fuzz-corpus,
# the checked-in corpus is left as it is).
#   scripts/fuzz.sh [SECONDS_PER_TARGET]     default 30
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}

cmake -S . -B build/fuzz -DMP_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/fuzz -j"$(nproc 2>/dev/null || echo 2)" --target fuzz_plugins fuzz_text fuzz_dll fuzz_filter_data

for target in plugins text dll filter_data; do
    work=build/fuzz-corpus/$target
    mkdir -p "$work"
    echo "fuzz_$target: ${seconds}s"
    # -close_fd_mask keeps the per-input chatter out; a crash still reports.
    (cd build/fuzz && ./fuzz_$target -max_total_time="$seconds" -max_len=4096 -timeout=20 \
        -print_final_stats=1 -close_fd_mask=1 \
        "../../$work" "../../tests/fuzz/corpus/$target" 2>&1 | grep -E "^(stat::|Done|==|SUMMARY|invariant)" )
done
