#!/bin/sh
# The program part of a self-decrypting file has to start on any Linux
# desktop: it may load nothing beyond the C library, libm and zlib (and the
# dynamic loader), and it must carry no code of the libraries the other
# programs link (libcrypto, Qt).
#   check_program_part.sh PROGRAM
set -eu
prog="$1"
status=0
sh "$(dirname "$0")/../cli/check_dependencies.sh" --c-only "$prog" || status=1
# libcrypto names itself in its version and error texts, Qt in its own.
for mark in 'OpenSSL 3' 'libcrypto' 'OPENSSL_' 'QObject' 'qt_'; do
  if grep -aq "$mark" "$prog"; then echo "$prog contains \"$mark\""; status=1; fi
done
[ "$status" -eq 0 ] && echo "$prog: no libcrypto, no Qt"
exit "$status"
