#!/usr/bin/env bash
# Encrypts a 256 MiB file that sits in the page cache with vanthe-cli and with openssl's RC4
# under the same 16-byte key, alternating, and prints the median times, their ratio and
# vanthe-cli's peak resident size. Usage: bench/cli_vs_openssl.sh [path/to/vanthe-cli] [MiB]
set -euo pipefail
cli="${1:-build/app/vanthe-cli}"
mib="${2:-256}"
runs=5
for tool in /usr/bin/time bc openssl; do
    command -v "$tool" >/dev/null || { echo "needs $tool (apt-get install time bc openssl)"; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
head -c "$((mib * 1024 * 1024))" /dev/urandom >"$work/source"
printf 'a\n' >"$work/password"
# MD5("a") = 0cc175b9c0f1b6a8...: the first 5 bytes and 11 zero bytes of salt.
key=0cc175b9c00000000000000000000000
cat "$work/source" >/dev/null

seconds() { # command... -> elapsed seconds on stdout
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    echo "$end - $start" | bc -l
}
median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

: >"$work/vanthe.times"
: >"$work/openssl.times"
for ((i = 0; i < runs; i++)); do
    seconds "$cli" encrypt --quiet --force --password-file "$work/password" "$work/source" \
        "$work/out.vanthe" >>"$work/vanthe.times"
    seconds openssl enc -rc4 -provider legacy -provider default -K "$key" -nosalt \
        -in "$work/source" -out "$work/out.openssl" >>"$work/openssl.times"
done
cmp -s "$work/out.vanthe" "$work/out.openssl" || { echo "outputs differ"; exit 1; }

peak=$(/usr/bin/time -f %M "$cli" encrypt --quiet --force --password-file "$work/password" \
    "$work/source" "$work/out.vanthe" 2>&1 >/dev/null | tail -n 1)
v=$(median <"$work/vanthe.times")
o=$(median <"$work/openssl.times")
printf 'file: %d MiB, %d alternating runs each, outputs identical\n' "$mib" "$runs"
printf 'vanthe-cli median: %.3f s (%.0f MB/s)\n' "$v" "$(echo "$mib * 1.048576 / $v" | bc -l)"
printf 'openssl    median: %.3f s (%.0f MB/s)\n' "$o" "$(echo "$mib * 1.048576 / $o" | bc -l)"
printf 'ratio vanthe-cli / openssl: %.3f (target <= 1.10)\n' "$(echo "$v / $o" | bc -l)"
printf 'vanthe-cli peak resident size: %d KiB\n' "$peak"
