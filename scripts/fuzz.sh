#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for SECONDS (default 60) over a
# seed corpus the build makes. Fails on any crash, leak or hang.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
scripts/deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)"
shopt -s nullglob
for fuzzer in build-fuzz/bin/fuzz_*; do
  [ -x "$fuzzer" ] || continue
  name=$(basename "$fuzzer")
  corpus=build-fuzz/corpus/$name
  mkdir -p "$corpus"
  seeds=build-fuzz/seeds/$name
  [ -d "$seeds" ] || seeds=
  artifacts=build-fuzz/artifacts/$name
  mkdir -p "$artifacts"
  echo "== $name for ${seconds}s"
  "$fuzzer" -artifact_prefix="$artifacts/" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
    -print_final_stats=1 "$corpus" $seeds
done
