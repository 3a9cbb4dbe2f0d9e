#!/usr/bin/env bash
# Installs the Debian packages the build needs (only those that are missing),
# then configures and builds the presets named on the command line.
#   scripts/setup.sh [PRESET ...]     (default: release)
#   scripts/setup.sh --install-only   (packages only)
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  g++ cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  zlib1g-dev libisal-dev libcli11-dev libarchive-dev
  libssl-dev age libzxcvbn-dev
  # Protected OpenSSH keys are opened with libssh, loaded when needed; its
  # headers build the loader, and the tests answer prompts through pexpect.
  libssh-dev python3-pexpect openssh-client
  # The folder benchmark compares with tar and pigz.
  tar pigz
  # The fuzz targets are built with clang and its libFuzzer runtime.
  clang libclang-rt-14-dev
  # The constant-time check of the post-quantum code runs under memcheck.
  valgrind
  qt6-base-dev
  xvfb xauth fonts-liberation fonts-wqy-microhei
  qt6-translations-l10n
  # The desktop's tools the desktop-integration tests and the package check use.
  xdg-utils libfile-mimeinfo-perl shared-mime-info desktop-file-utils libglib2.0-bin dpkg-dev
  # KDE Frameworks 5's service database tools check the Dolphin menus.
  kde-cli-tools
  # The package check lints the .deb and formats its manual pages.
  lintian man-db groff-base
  # The GNOME Files and Caja Python bindings the context-menu extensions are
  # loaded with in the tests.
  python3 python3-gi python3-nautilus gir1.2-nautilus-4.0 python3-caja gir1.2-caja-2.0
  # vesk-cli's filter and plugin tests answer its terminal prompts.
  python3-pexpect
  # The English catalogue (msgfmt, and xgettext for its test), and the
  # English and Chinese locales the language tests and a user's desktop use.
  gettext locales
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}" >&2
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The locales the programs are tried in (they choose their language from the
# environment's names alone, but Qt and the C library want them to exist).
for locale in en_US zh_CN; do
  if ! locale -a 2>/dev/null | grep -qix "$locale.utf-\?8"; then
    sudo=""
    if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
    $sudo localedef -i "$locale" -c -f UTF-8 -A /usr/share/locale/locale.alias "$locale.UTF-8" ||
      echo "setup: could not make the locale $locale.UTF-8" >&2
  fi
done

[ "${1:-}" = "--install-only" ] && exit 0
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(release)
jobs=$(nproc 2>/dev/null || echo 2)
for preset in "${presets[@]}"; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done
