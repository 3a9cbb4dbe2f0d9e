#!/usr/bin/env bash
# Dolphin on KDE Frameworks 5 shows a service menu only when the Frameworks'
# own service database takes it. The menus vesk-cli registers, with the
# Frameworks 6 files removed, are built into a private database by
# kbuildsycoca5 and looked up by ktraderclient5 as popup-menu plugins; the
# same file turned into an application entry must drop out, so the check
# tells the two apart. Skipped where the KDE tools are not installed.
#   kservice_check.sh VESK-CLI
set -euo pipefail
cli=$1
for tool in kbuildsycoca5 ktraderclient5; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is not installed (kde-cli-tools)"
    exit 0
  fi
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home/.config" XDG_DATA_HOME="$scratch/home/.local/share"
export XDG_CACHE_HOME="$scratch/cache" XDG_RUNTIME_DIR="$scratch/run"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
printf '#!/bin/sh\n' >"$scratch/vesk"
chmod +x "$scratch/vesk"
"$cli" context-menu --program "$scratch/vesk" >/dev/null 2>&1
rm -rf "$XDG_DATA_HOME/kio"

# Our menus among the popup-menu plugins the database holds, sorted.
ours() {
  rm -rf "$XDG_CACHE_HOME"
  kbuildsycoca5 --noincremental >/dev/null 2>&1
  ktraderclient5 --servicetype KonqPopupMenu/Plugin 2>/dev/null |
    sed -n "s|^DesktopEntryPath : 'ServiceMenus/\(vesk-[a-z]*\)\.desktop'\$|\1|p" | sort | tr '\n' ' '
}

failed=0
found=$(ours)
if [ "$found" != "vesk-decrypt vesk-open " ]; then
  echo "FAILED: the Frameworks 5 database holds [$found], not both menus"
  failed=1
fi
sed -i 's/^Type=Service$/Type=Application/' "$XDG_DATA_HOME/kservices5/ServiceMenus/vesk-open.desktop"
found=$(ours)
if [ "$found" != "vesk-decrypt " ]; then
  echo "FAILED: an application entry in the service menus is taken: [$found]"
  failed=1
fi
[ "$failed" = 0 ] && echo "kservice check: both menus are services Dolphin on Frameworks 5 shows"
exit "$failed"
