#!/usr/bin/env bash
# Installs what the build needs, builds the window program vesk and vesk-cli
# (release preset) and starts the window with the given arguments (a file to
# preselect, switches such as /ysl0 or >>>). Without a graphical display it
# says so and shows how to use vesk-cli.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh --install-only
cmake --preset release >/dev/null
cmake --build --preset release --target vesk vesk-cli >/dev/null || {
  cmake --build --preset release --target vesk vesk-cli  # shows what failed
  exit 1
}

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  cat >&2 <<'TEXT'
run: 没有可用的图形显示 (DISPLAY 和 WAYLAND_DISPLAY 都没有设置), 窗口不能打开。
run: no graphical display (neither DISPLAY nor WAYLAND_DISPLAY is set): the window cannot open.

Use the command-line program instead:
  build/release/bin/vesk-cli encrypt FILE --key-file KEYFILE       # FILE.jmz, compressed first
  build/release/bin/vesk-cli decrypt FILE.jmz --key-file KEYFILE   # back to FILE
  build/release/bin/vesk-cli compress FILE                         # FILE.zak, no key
  build/release/bin/vesk-cli decompress FILE.zak

TEXT
  build/release/bin/vesk-cli --help >&2 || true
  exit 1
fi

exec build/release/bin/vesk "$@"
