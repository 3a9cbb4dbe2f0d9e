#!/usr/bin/env bash
# Builds the libFuzzer targets (the fuzz preset, clang) and runs each from a
# fixed seed in an empty corpus of its own, for RUNS inputs or SECONDS,
# whichever ends first: a short run that takes the same road each time, so
# that a target that no longer builds, or an input such a run reaches, fails
# here. An input that fails is kept under build/fuzz/ (crash-*, timeout-*,
# oom-*).
#   scripts/fuzz-smoke.sh [RUNS [SECONDS]]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-20000}
seconds=${2:-30}
scripts/setup.sh fuzz
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for target in build/fuzz/fuzz/vesk_fuzz_*; do
  name=$(basename "$target")
  mkdir "$work/$name"
  start=$(date +%s)
  if TMPDIR="$work" "$target" -seed=1 -runs="$runs" -max_total_time="$seconds" -timeout=60 -rss_limit_mb=4096 \
      -artifact_prefix=build/fuzz/ "$work/$name" > "$work/$name.log" 2>&1; then
    echo "$name: $(sed -n 's/^Done \([0-9]*\) runs.*/\1/p' "$work/$name.log") inputs, $(($(date +%s) - start)) s"
  else
    echo "$name: FAILED"
    tail -n 40 "$work/$name.log"
    status=1
  fi
done
exit $status
