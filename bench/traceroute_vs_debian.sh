#!/bin/sh
# Traces one route built in network namespaces (client - r1 - r2 - server,
# veth pairs, 10.211.x addresses that exist nowhere else) with
# `netrove-cli traceroute` and with Debian's `traceroute`, in the same run,
# and compares the hop addresses and the time each took. Needs root.
#
#   bench/traceroute_vs_debian.sh [path/to/netrove-cli]
set -eu

cli=${1:-build/bench/src/cli/netrove-cli}
[ -x "$cli" ] || { echo "netrove-cli not found: $cli" >&2; exit 2; }
command -v traceroute >/dev/null || { echo "Debian's traceroute is not installed" >&2; exit 2; }

tag=nrtrb$$
work=$(mktemp -d)
cleanup() {
  for role in client r1 r2 server; do ip netns del "$tag$role" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

in_ns() { role=$1; shift; ip netns exec "$tag$role" "$@"; }

for role in client r1 r2 server; do
  ip netns add "$tag$role"
  in_ns "$role" ip link set lo up
  # Routers and the target answer every probe, however fast they come.
  in_ns "$role" sysctl -qw net.ipv4.icmp_ratelimit=0
done

link() {  # link A ADDRESS_A B ADDRESS_B: a veth pair made inside the namespaces
  n=$5
  in_ns "$1" ip link add "v${n}a" type veth peer name "v${n}b" netns "$tag$3"
  in_ns "$1" ip addr add "$2" dev "v${n}a"
  in_ns "$1" ip link set "v${n}a" up
  in_ns "$3" ip addr add "$4" dev "v${n}b"
  in_ns "$3" ip link set "v${n}b" up
}
link client 10.211.1.2/24 r1 10.211.1.1/24 0
link r1 10.211.2.1/24 r2 10.211.2.2/24 1
link r2 10.211.3.1/24 server 10.211.3.2/24 2
in_ns r1 sysctl -qw net.ipv4.ip_forward=1
in_ns r2 sysctl -qw net.ipv4.ip_forward=1
in_ns client ip route add default via 10.211.1.1
in_ns r1 ip route add 10.211.3.0/24 via 10.211.2.2
in_ns r2 ip route add default via 10.211.2.1
in_ns server ip route add default via 10.211.3.1

target=10.211.3.2
export NETROVE_HOME="$work/home"
mkdir -p "$NETROVE_HOME"

now_ms() { date +%s%3N; }

start=$(now_ms)
in_ns client "$cli" traceroute --timeout 2 "$target" >"$work/netrove.txt"
netrove_ms=$(( $(now_ms) - start ))

start=$(now_ms)
in_ns client traceroute -n -w 2 "$target" >"$work/debian.txt"
debian_ms=$(( $(now_ms) - start ))

# The same without CAP_NET_RAW: the answers come from the probes' own
# socket's error queue instead of a raw socket.
unprivileged_ms=-
if command -v setpriv >/dev/null; then
  start=$(now_ms)
  in_ns client setpriv --bounding-set -net_raw --inh-caps -net_raw \
    "$cli" traceroute --timeout 2 "$target" >"$work/unprivileged.txt"
  unprivileged_ms=$(( $(now_ms) - start ))
fi

echo "--- netrove-cli traceroute $target ($netrove_ms ms)"
tr -d '\r' <"$work/netrove.txt"
if [ -f "$work/unprivileged.txt" ]; then
  echo "--- netrove-cli traceroute $target without CAP_NET_RAW ($unprivileged_ms ms)"
  tr -d '\r' <"$work/unprivileged.txt"
fi
echo "--- Debian traceroute -n $target ($debian_ms ms)"
cat "$work/debian.txt"

# Hop number and first address of every hop line, "1 10.211.1.1".
hops() { tr -d '\r' <"$1" | awk '/^[0-9][0-9][0-9]  / { print $1 + 0, $2 }'; }
hops "$work/netrove.txt" >"$work/netrove.hops"
awk '/^ *[0-9]+ / { print $1, $2 }' "$work/debian.txt" >"$work/debian.hops"

echo "--- hops (netrove | debian)"
paste -d'|' "$work/netrove.hops" "$work/debian.hops"
status=0
if cmp -s "$work/netrove.hops" "$work/debian.hops" && [ "$(wc -l <"$work/netrove.hops")" -eq 3 ]; then
  echo "MATCH: both list the same three hops"
else
  echo "DIFFER" >&2
  status=1
fi
if [ -f "$work/unprivileged.txt" ]; then
  if hops "$work/unprivileged.txt" | cmp -s - "$work/debian.hops"; then
    echo "MATCH: the run without CAP_NET_RAW lists the same hops"
  else
    echo "DIFFER: the run without CAP_NET_RAW" >&2
    status=1
  fi
fi
exit $status
