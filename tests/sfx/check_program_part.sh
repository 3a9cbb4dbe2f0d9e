#!/bin/sh
# The program part of a self-decrypting file has to start on any Linux
# desktop: it may load nothing beyond the C library, libm and zlib (and the
# dynamic loader), neither as a direct dependency (NEEDED) nor through one of
# them (ldd), and it must carry no code of the libraries the other programs
# link (libcrypto, Qt).
#   check_program_part.sh PROGRAM
set -eu
prog="$1"

allowed() {
  case "$1" in
    libc.so.*|libm.so.*|libz.so.*) return 0 ;;
    ld-linux*.so.*|*/ld-linux*.so.*|linux-vdso.so.*|linux-gate.so.*) return 0 ;;
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
# libcrypto names itself in its version and error texts, Qt in its own.
for mark in 'OpenSSL 3' 'libcrypto' 'OPENSSL_' 'QObject' 'qt_'; do
  if grep -aq "$mark" "$prog"; then echo "$prog contains \"$mark\""; status=1; fi
done
[ "$status" -eq 0 ] && echo "$prog: only libc, libm and zlib; no libcrypto, no Qt"
exit "$status"
