#!/bin/sh
# vesk-cli takes libcrypto and libarchive from the system's shared libraries,
# so that their security updates reach it: both are NEEDED, no code of either
# is linked into the program, and nothing of Qt is loaded.
#   check_shared_libraries.sh PROGRAM
set -eu
prog="$1"
status=0
needed=$(readelf -d "$prog" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
for lib in libcrypto.so libarchive.so; do
  printf '%s\n' $needed | grep -q "^$lib\." || { echo "$prog does not load $lib"; status=1; }
done
printf '%s\n' $needed | grep -qi libqt && { echo "$prog loads Qt"; status=1; }
# A function of each library defined in the program itself: a static copy.
for symbol in archive_read_new archive_write_new EVP_CIPHER_CTX_new EVP_MD_fetch; do
  if nm --defined-only "$prog" 2>/dev/null | awk '{print $3}' | grep -qx "$symbol"; then
    echo "$prog holds its own copy of $symbol"
    status=1
  fi
done
[ "$status" -eq 0 ] && echo "$prog: libcrypto and libarchive are the system's"
exit "$status"
