#!/usr/bin/env bash
# Builds the release and the sanitizer presets, runs every test of both, then
# builds the Debian package and checks it (scripts/package-check.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh release asan
jobs=$(nproc 2>/dev/null || echo 2)
status=0
for preset in release asan; do
  echo "== ctest ($preset)"
  ctest --preset "$preset" -j "$jobs" || status=1
done
echo "== package"
scripts/package-check.sh || status=1
exit $status
