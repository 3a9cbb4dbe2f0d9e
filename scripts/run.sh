#!/usr/bin/env bash
# Builds the release preset and runs the command-line program with the given
# arguments (its help when there are none).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh release >/dev/null
exec build/release/src/cli/vesk-cli "${@:---help}"
