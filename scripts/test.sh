#!/usr/bin/env bash
# Builds the release and the sanitizer presets, runs every test of both,
# builds the Debian package and checks it (scripts/package-check.sh), then
# builds the fuzz targets and runs each briefly (scripts/fuzz-smoke.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh release asan
jobs=$(nproc 2>/dev/null || echo 2)
status=0
for preset in release asan; do
  echo "== ctest ($preset)"
  # The real 4 GiB round trip (about a minute, 8 GiB of disk; it skips
  # itself when the disk has less than 9 GiB free) runs in the release
  # build; under the sanitizers it would take many times as long.
  big=()
  [ "$preset" = release ] && big=(VESK_BIG_TESTS=1)
  env "${big[@]}" ctest --preset "$preset" -j "$jobs" || status=1
done
echo "== package"
scripts/package-check.sh || status=1
echo "== fuzz"
scripts/fuzz-smoke.sh || status=1
exit $status
