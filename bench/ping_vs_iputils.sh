#!/usr/bin/env bash
# Round-trip times of netrove-cli ping against iputils ping (Debian package
# iputils-ping), both sending 20 requests to loopback at the same time.
# Prints both averages and their difference; fails when they differ by more
# than 1 ms. Needs root (raw sockets) and a built netrove-cli:
#   bench/ping_vs_iputils.sh [path/to/netrove-cli] [count]
set -euo pipefail
cli=${1:-build/dev/src/cli/netrove-cli}
count=${2:-20}
target=127.0.0.1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

NETROVE_HOME=$work "$cli" ping --count "$count" "$target" >"$work/netrove.txt" &
netrove_pid=$!
ping -c "$count" "$target" >"$work/iputils.txt"
wait "$netrove_pid"

# "Round-trip (ms)  min/avg/max = 0/0/1" and "rtt min/avg/max/mdev = a/b/c/d ms"
netrove_avg=$(tr -d '\r' <"$work/netrove.txt" | sed -n 's#^Round-trip (ms)  min/avg/max = [0-9]*/\([0-9]*\)/[0-9]*$#\1#p')
iputils_avg=$(sed -n 's#^rtt min/avg/max/mdev = [0-9.]*/\([0-9.]*\)/.*#\1#p' "$work/iputils.txt")
netrove_replies=$(grep -c '^Reply from' "$work/netrove.txt" || true)
iputils_replies=$(grep -c 'bytes from' "$work/iputils.txt" || true)

echo "netrove-cli ping: $netrove_replies replies, average ${netrove_avg} ms (whole milliseconds, truncated)"
echo "iputils ping:     $iputils_replies replies, average ${iputils_avg} ms"
awk -v a="$netrove_avg" -v b="$iputils_avg" 'BEGIN {
  d = a - b; if (d < 0) d = -d
  printf "difference:       %.3f ms\n", d
  exit (d <= 1.0) ? 0 : 1
}'
