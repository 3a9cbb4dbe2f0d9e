#!/bin/sh
# A program that has to start on a stock system may need nothing beyond the
# C and C++ runtime libraries and zlib: neither as a direct dependency
# (NEEDED) nor through one of them (ldd). With --c-only, not even the C++
# runtime: only libc, libm and zlib (and the dynamic loader).
#   check_dependencies.sh [--c-only] PROGRAM
set -eu
cxx=yes
if [ "$1" = "--c-only" ]; then
  cxx=no
  shift
fi
prog="$1"

allowed() {
  case "$1" in
    libc.so.*|libm.so.*|libz.so.*) return 0 ;;
    ld-linux*.so.*|*/ld-linux*.so.*|linux-vdso.so.*|linux-gate.so.*) return 0 ;;
    libstdc++.so.*|libgcc_s.so.*) [ "$cxx" = yes ] && return 0 ;;
  esac
  return 1
}

status=0
needed=$(readelf -d "$prog" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
[ -n "$needed" ] || { echo "$prog: no NEEDED entries found"; exit 1; }
for lib in $needed; do
  allowed "$lib" || { echo "$prog needs $lib"; status=1; }
done
if command -v ldd >/dev/null 2>&1; then
  for lib in $(ldd "$prog" | awk '{print $1}'); do
    allowed "$lib" || { echo "$prog loads $lib"; status=1; }
  done
fi
if [ "$status" -eq 0 ]; then
  if [ "$cxx" = yes ]; then echo "$prog: only libc, libm, libstdc++, libgcc_s and zlib"; else echo "$prog: only libc, libm and zlib"; fi
fi
exit "$status"
