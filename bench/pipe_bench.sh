#!/bin/sh
# vesk-cli as a filter against itself on files, in one run: 1 GiB encrypted
# to an X25519 recipient from a file into a file, and from a pipe into a pipe
# (`cat | vesk-cli encrypt - --format age -r … -o - | cat`), alternating, the
# median of each and the largest resident size of vesk-cli.
#   bench/pipe_bench.sh [VESK_CLI] [RUNS]
set -eu
cli=${1:-build/release/bin/vesk-cli}
runs=${2:-3}
work=$(mktemp -d "${TMPDIR:-/tmp}/vesk-pipe-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
head -c 1073741824 /dev/urandom > "$work/big"
recipient=$("$cli" keygen 2>/dev/null | sed -n 's/^# public key: //p')

# One timed run into $work/time: seconds and the largest resident size of
# vesk-cli in KiB.
timed() { /usr/bin/time -f '%e %M' -o "$work/time" "$@"; }
file_run() { timed "$cli" encrypt "$work/big" --format age -r "$recipient" -o "$work/out.age" --yes >/dev/null 2>&1; }
pipe_run() {
  cat "$work/big" | timed "$cli" encrypt - --format age -r "$recipient" -o - 2>/dev/null | cat > "$work/out2.age"
}
: > "$work/file"; : > "$work/pipe"
i=0
while [ $i -lt "$runs" ]; do
  file_run; cat "$work/time" >> "$work/file"
  pipe_run; cat "$work/time" >> "$work/pipe"
  rm -f "$work/out.age" "$work/out2.age"
  i=$((i + 1))
done
median() { sort -n "$1" | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }'; }
most() { awk 'BEGIN { m = 0 } { if ($2 > m) m = $2 } END { printf "%.1f", m / 1024 }' "$1"; }
f=$(median "$work/file"); p=$(median "$work/pipe")
echo "file to file  : ${f} s, largest resident size $(most "$work/file") MiB"
echo "pipe to pipe  : ${p} s, largest resident size $(most "$work/pipe") MiB"
awk -v f="$f" -v p="$p" 'BEGIN { printf "pipe / file   : %.3f (goal <= 1.1)\n", p / f }'
