#!/usr/bin/env bash
# Renders the window under Xvfb into docs/screenshot.png (or the PNG file
# given), with fresh settings, as a new user sees it at first start.
#   scripts/screenshot.sh [OUTPUT.png [ARGUMENT ...]]
# ARGUMENTs are passed as the window's command line (for example ">>>").
# SCREENSHOT_LANG gives the desktop's locale (default C.UTF-8, the Chinese
# window; en_US.UTF-8 shows the English one).
# VESK_BUILD_DIR names a build tree to use instead of building the release
# preset.
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-docs/screenshot.png}"
[ $# -gt 0 ] && shift

# A machine without the build tools, Qt or Xvfb gets them from the set-up script.
if ! command -v cmake >/dev/null || ! command -v ninja >/dev/null || ! command -v xvfb-run >/dev/null ||
   ! dpkg-query -W -f='${Status}' qt6-base-dev 2>/dev/null | grep -q 'install ok installed'; then
  scripts/setup.sh release
fi
if [ -n "${VESK_BUILD_DIR:-}" ]; then
  build="$VESK_BUILD_DIR"
else
  cmake --preset release >/dev/null
  build=build/release
fi
cmake --build "$build" --target vesk-screenshot >/dev/null || {
  cmake --build "$build" --target vesk-screenshot  # shows what failed
  exit 1
}
tool="$build/src/gui/vesk-screenshot"
[ -x "$tool" ] || { echo "screenshot: $tool was not built (is Qt 6 installed?)" >&2; exit 1; }

config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
mkdir -p "$(dirname "$out")"
# The xcb platform on Xvfb: the real window as an X server draws it.
env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY -u LANGUAGE -u LC_ALL -u LC_MESSAGES XDG_CONFIG_HOME="$config" \
  XDG_RUNTIME_DIR="$config" LANG="${SCREENSHOT_LANG:-C.UTF-8}" \
  xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96 -nolisten tcp" sh -c '
    # A window manager, where there is one, gives the window its frame and
    # the keyboard focus.
    if command -v openbox >/dev/null; then openbox >/dev/null 2>&1 & sleep 1; fi
    exec "$@"' sh "$tool" "$out" "$@"
echo "screenshot: wrote $out"
