#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address and undefined-behaviour sanitizers) and
# runs each for a bounded time on a copy of its seed corpus. FUZZ_SECONDS sets the time
# per target (default 60). A finding fails the run; its input is left in build-fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
seconds="${FUZZ_SECONDS:-60}"
if [ ! -f build-fuzz/build.ninja ]; then
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVOR17000_FUZZ=ON -DVOR17000_WERROR=OFF -DBUILD_TESTING=OFF >/dev/null
fi
cmake --build build-fuzz --target rpc_body_fuzzer packet_fuzzer
for target in rpc_body:rpc packet:packet; do
  name="${target%%:*}_fuzzer"
  corpus="build-fuzz/corpus-${target#*:}"
  rm -rf "$corpus" && mkdir -p "$corpus" && cp fuzz/corpus/"${target#*:}"/* "$corpus"/
  echo "fuzz: $name for ${seconds}s"
  (cd build-fuzz && "./bin/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 "../$corpus" 2>&1 | grep -E "stat::number_of_executed_units|stat::new_units_added|ERROR|SUMMARY|Done" || true)
  # libFuzzer exits non-zero on a finding; the crash file names it.
  if ls build-fuzz/crash-* build-fuzz/leak-* build-fuzz/timeout-* >/dev/null 2>&1; then
    echo "fuzz: $name found a failing input:" && ls build-fuzz/crash-* build-fuzz/leak-* build-fuzz/timeout-* 2>/dev/null
    exit 1
  fi
done
echo "fuzz: no findings"
