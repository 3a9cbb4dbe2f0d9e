#!/usr/bin/env bash
# Builds the Debian package from the release build, checks what it holds and
# what it depends on, runs lintian on it, checks its manual pages, unpacks
# it into a scratch folder (dpkg -x, no root needed) and runs the unpacked
# vesk-cli: an encryption round trip and the desktop registration round trip
# in scratch XDG folders.
#   scripts/package-check.sh     (after scripts/setup.sh release)
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/release
[ -f "$build/CMakeCache.txt" ] || cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc 2>/dev/null || echo 2)" >/dev/null

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

passed=0
failed=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@" >"$scratch/last.log" 2>&1; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "package-check: FAILED: $what" >&2
    sed 's/^/    /' "$scratch/last.log" >&2
  fi
}

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
arch=$(dpkg --print-architecture)
(cd "$build" && cpack -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1) || {
  cat "$scratch/cpack.log" >&2
  echo "package-check: cpack failed" >&2
  exit 1
}
deb="$scratch/out/vesk_${version}_${arch}.deb"
check "the package is named vesk_${version}_${arch}.deb" test -f "$deb"
[ -f "$deb" ] || { echo "package-check: 0 passed, 1 failed"; exit 1; }

# ---- What the package says and holds -----------------------------------------
dpkg-deb --field "$deb" >"$scratch/control"
contents=$(dpkg-deb --contents "$deb" | awk '{print $6}')
has_field() { grep -Eq "$1" "$scratch/control"; }
check "package name" has_field '^Package: vesk$'
check "version" has_field "^Version: ${version}\$"
check "architecture" has_field "^Architecture: ${arch}\$"
# dpkg-shlibdeps found the libraries; Qt's Chinese texts are named by hand.
for dep in libc6 libstdc\\+\\+6 zlib1g libssl3 libarchive13 libqt6widgets6 libqt6gui6 libqt6core6 libzxcvbn0 qt6-translations-l10n; do
  check "depends on $dep" has_field "^Depends:.*(^| |,)${dep}( |,|$)"
done
for path in \
  ./usr/bin/vesk ./usr/bin/vesk-cli ./usr/bin/vesk-sfx \
  ./usr/share/applications/vesk.desktop \
  ./usr/share/icons/hicolor/48x48/apps/vesk.png \
  ./usr/share/icons/hicolor/256x256/apps/vesk.png \
  ./usr/share/icons/hicolor/scalable/apps/vesk.svg \
  ./usr/share/icons/hicolor/48x48/mimetypes/application-x-vesk-jmz.png \
  ./usr/share/icons/hicolor/scalable/mimetypes/application-x-vesk-jmz.svg \
  ./usr/share/mime/packages/vesk-jmz.xml \
  ./usr/share/man/man1/vesk.1.gz ./usr/share/man/man1/vesk-cli.1.gz ./usr/share/man/man1/vesk-sfx.1.gz \
  ./usr/share/man/zh_CN/man1/vesk.1.gz ./usr/share/man/zh_CN/man1/vesk-cli.1.gz \
  ./usr/share/man/zh_CN/man1/vesk-sfx.1.gz \
  ./usr/share/doc/vesk/copyright ./usr/share/doc/vesk/changelog.gz \
  ./usr/share/vesk/site/index.html ./usr/share/vesk/site/jmz/Help.htm ./usr/share/vesk/site/jmz/Index.htm \
  ./usr/share/vesk/site/index-en.html ./usr/share/vesk/site/jmz/Help-en.htm ./usr/share/vesk/site/jmz/Index-en.htm; do
  check "holds $path" grep -qxF "$path" <<<"$contents"
done
# Nothing of the build tree: no tests, benchmarks, headers or libraries.
check "holds only the programs and their data" \
  bash -c '! grep -Ev "^\./(\$|usr/(\$|bin/(\$|vesk\$|vesk-cli\$|vesk-sfx\$)|share/))" <<<"$1"' _ "$contents"

# ---- The unpacked files --------------------------------------------------------
root="$scratch/root"
dpkg -x "$deb" "$root"
cli="$root/usr/bin/vesk-cli"
check "vesk-cli runs" "$cli" --version
check "vesk-cli needs no Qt" bash -c '! ldd "$1" | grep -qi libqt' _ "$cli"
# libcrypto and libarchive come from the system, whose updates reach them.
check "vesk-cli loads the system's libcrypto and libarchive" sh tests/cli/check_shared_libraries.sh "$cli"
check "the window loads the system's libcrypto and libarchive" bash -c \
  'ldd "$1" | grep -q "libcrypto\.so" && ldd "$1" | grep -q "libarchive\.so"' _ "$root/usr/bin/vesk"
# The program part of self-decrypting files, beside vesk-cli as make-sfx
# looks for it, with nothing but libc, libm and zlib.
sfx="$root/usr/bin/vesk-sfx"
check "vesk-sfx runs" "$sfx" --version
check "vesk-sfx needs only libc, libm and zlib" sh tests/sfx/check_program_part.sh "$sfx"

# Debian's own checks of the package; everything they report is shown.
if command -v lintian >/dev/null; then
  check "lintian finds no error" lintian --fail-on error "$deb"
  grep -E '^[EW]: ' "$scratch/last.log" >&2 || true
else
  echo "package-check: lintian is not installed: the lintian check is skipped" >&2
fi
check "the changelog's latest entry is this version" bash -c \
  'zcat "$1" >"$2" && [ "$(dpkg-parsechangelog -l "$2" -S Version)" = "$3" ]' _ \
  "$root/usr/share/doc/vesk/changelog.gz" "$scratch/changelog" "$version"

# The manual pages format without a warning. groff breaks and adjusts lines
# of Chinese text only with its Chinese macros, which man loads in a Chinese
# locale: outside one those two warnings say nothing about the page.
man_clean() {
  LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l "$1" >/dev/null 2>"$scratch/man.log" || return 1
  case $1 in */zh_CN/*) ! grep -Ev "warning \[.*\]: (cannot adjust|can't break) line" "$scratch/man.log" ;;
  *) ! grep . "$scratch/man.log" ;;
  esac
}
# What a program's help lists: its subcommands, and the options in the first
# column of its option lines.
help_words() {
  local text
  text=$("$@" --help) || return 1
  sed -n 's/^  \([a-z][a-z-]*\)  .*/\1/p' <<<"$text"
  grep -E '^ +[-/]' <<<"$text" | sed -E 's/^ +//; s/  .*//' | grep -oE '(^|[ ,])(--?|/)[a-z][a-z0-9-]*' | tr -d ' ,'
}
# Every subcommand and option the help lists is in the page.
man_lists_help() {  # man_lists_help PAGE PROGRAM
  local words page=$scratch/page.txt word sub missing=""
  zcat "$1" | sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/\\&//g' >"$page" || return 1
  words=$(help_words "$2") || return 1
  for sub in $(sed -n '/^[a-z]/p' <<<"$words"); do
    words+=$'\n'$(help_words "$2" "$sub") || return 1
  done
  for word in $(sort -u <<<"$words"); do
    grep -qE -- "(^|[^[:alnum:]-])${word}([^[:alnum:]-]|$)" "$page" || missing+=" $word"
  done
  [ -z "$missing" ] || { echo "not in the page:$missing"; return 1; }
}
for page in "$root"/usr/share/man/man1/*.1.gz "$root"/usr/share/man/zh_CN/man1/*.1.gz; do
  name=${page#"$root"/usr/share/man/}
  program=$(basename "$page" .1.gz)
  check "the manual page $name formats without warnings" man_clean "$page"
  check "the manual page $name names everything $program --help lists" man_lists_help "$page" "$root/usr/bin/$program"
done
if command -v desktop-file-validate >/dev/null; then
  check "the menu entry is valid" desktop-file-validate "$root/usr/share/applications/vesk.desktop"
fi
if command -v update-mime-database >/dev/null; then
  mkdir -p "$scratch/mime/packages"
  cp "$root/usr/share/mime/packages/vesk-jmz.xml" "$scratch/mime/packages/"
  check "the MIME package gives *.jmz its type" bash -c \
    'update-mime-database "$1" && grep -q "application/x-vesk-jmz:\*\.jmz" "$1/globs2"' _ "$scratch/mime"
fi

# An encryption round trip, and one through compression.
work="$scratch/work"
mkdir -p "$work"
head -c 300000 /dev/urandom >"$work/plain.bin"
cp "$work/plain.bin" "$work/original.bin"
export VESK_KEY="package 口令"
round_trip() {
  local level=$1
  rm -f "$work/plain.jmz"
  TMPDIR=$work "$cli" encrypt "$work/plain.bin" --level "$level" --key-env VESK_KEY &&
    rm "$work/plain.bin" &&
    TMPDIR=$work "$cli" decrypt "$work/plain.jmz" --key-env VESK_KEY &&
    cmp "$work/plain.bin" "$work/original.bin"
}
check "encrypt and decrypt give the file back" round_trip 0
check "compress, encrypt, decrypt and decompress give the file back" round_trip 3
# A self-decrypting file made by the installed vesk-cli carries the
# installed vesk-sfx, its container on a page boundary (the packaging must
# not strip the padded image), and gives the file back when run.
sfx_round_trip() {
  rm -f "$work/plain.jmz" "$work/plain.run" "$work/back.bin"
  TMPDIR=$work "$cli" encrypt "$work/plain.bin" --level 0 --key-env VESK_KEY &&
    TMPDIR=$work "$cli" make-sfx "$work/plain.jmz" &&
    cmp -n "$(stat -c %s "$sfx")" "$work/plain.run" "$sfx" &&
    [ $(( ($(stat -c %s "$work/plain.run") - $(stat -c %s "$work/plain.jmz")) % 4096 )) -eq 0 ] &&
    TMPDIR=$work "$work/plain.run" self-decrypt --key-env VESK_KEY -o "$work/back" &&
    cmp "$work/back.bin" "$work/original.bin"
}
check "a self-decrypting file carries vesk-sfx and decrypts itself" sfx_round_trip
age_round_trip() {
  rm -f "$work/plain.bin.age" "$work/me.txt"
  local key
  key=$("$cli" keygen -o "$work/me.txt") &&
    TMPDIR=$work "$cli" encrypt "$work/plain.bin" --format age --recipient "$key" &&
    rm "$work/plain.bin" &&
    TMPDIR=$work "$cli" decrypt "$work/plain.bin.age" --identity "$work/me.txt" &&
    cmp "$work/plain.bin" "$work/original.bin"
}
check "age: a new identity, a file encrypted to it and decrypted give the file back" age_round_trip

# The desktop registration with the unpacked programs, in scratch folders.
export XDG_DATA_HOME="$scratch/xdg/data" XDG_CONFIG_HOME="$scratch/xdg/config"
check "associate registers the vesk beside vesk-cli" bash -c \
  '"$1" associate && grep -qF "Exec=\"$2\" %f" "$XDG_DATA_HOME/applications/vesk-jmz.desktop"' _ \
  "$cli" "$root/usr/bin/vesk"
check "context-menu adds the entries" bash -c \
  '"$1" context-menu && test -x "$XDG_DATA_HOME/kio/servicemenus/vesk-open.desktop"' _ "$cli"
mkdir -p "$XDG_CONFIG_HOME/vesk"
echo "[General]" >"$XDG_CONFIG_HOME/vesk/vesk.conf"
check "unregister leaves nothing of ours" bash -c \
  '"$1" unregister && ! grep -rqs "X-Vesk-Integration" "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" &&
   test ! -e "$XDG_CONFIG_HOME/vesk" && test ! -e "$XDG_CONFIG_HOME/mimeapps.list"' _ "$cli"

echo "package-check: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
