#!/bin/sh
# vesk-cli as a filter against itself on files, in one run: 1 GiB encrypted
# to an X25519 recipient from a file into a file, through "-" and "-o -"
# with standard input and output on files, and through pipes
# (`cat | vesk-cli encrypt - --format age -r … -o - | cat`); the three
# alternate, each run in turn going first. Prints the median time of each,
# its ratio to the file-to-file time and the largest resident size of
# vesk-cli. The files go to $TMPDIR (/dev/shm keeps the disk out of it).
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
run_file() { timed "$cli" encrypt "$work/big" --format age -r "$recipient" -o "$work/out" >/dev/null 2>&1; }
run_stdio() { timed "$cli" encrypt - --format age -r "$recipient" -o - < "$work/big" > "$work/out" 2>/dev/null; }
run_pipe() { cat "$work/big" | timed "$cli" encrypt - --format age -r "$recipient" -o - 2>/dev/null | cat > "$work/out"; }
run_cats() { cat "$work/big" | timed cat > "$work/out"; }
run_agefile() { timed age -r "$recipient" -o "$work/out" "$work/big"; }
run_agepipe() { cat "$work/big" | timed age -r "$recipient" | cat > "$work/out"; }
peer=""
command -v age >/dev/null && peer="agefile agepipe"
one() {
  rm -f "$work/out"
  "run_$1"
  cat "$work/time" >> "$work/$1"
}
: > "$work/file"; : > "$work/stdio"; : > "$work/pipe"; : > "$work/cats"
: > "$work/agefile"; : > "$work/agepipe"
i=0
while [ $i -lt "$runs" ]; do
  case $((i % 3)) in
    0) one file; one stdio; one pipe; one cats ;;
    1) one stdio; one pipe; one file; one cats ;;
    *) one pipe; one file; one stdio; one cats ;;
  esac
  for kind in $peer; do one "$kind"; done
  i=$((i + 1))
done
median() { sort -n "$1" | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }'; }
most() { awk 'BEGIN { m = 0 } { if ($2 > m) m = $2 } END { printf "%.1f", m / 1024 }' "$1"; }
f=$(median "$work/file")
for kind in file stdio pipe; do
  t=$(median "$work/$kind")
  awk -v k="$kind" -v t="$t" -v f="$f" -v m="$(most "$work/$kind")" \
    'BEGIN { printf "%-6s %6.2f s  %.2f x file  largest resident size %s MiB\n", k, t, t / f, m }'
done
awk -v t="$(median "$work/cats")" -v f="$f" 'BEGIN { printf "cat | cat, no filter: %.2f s  %.2f x file\n", t, t / f }'
if [ -n "$peer" ]; then
  awk -v f="$(median "$work/agefile")" -v p="$(median "$work/agepipe")" -v v="$(median "$work/pipe")" \
    'BEGIN { printf "age file %.2f s, pipe %.2f s (%.2f x its file); vesk-cli pipe %.2f x age pipe\n", f, p, p / f, v / p }'
fi
echo "(goal: stdio and pipe within 1.1 x file, under 64 MiB; load: $(cut -d' ' -f1-3 /proc/loadavg))"
