#!/usr/bin/env bash
# TFTP over loopback, 10 MiB in octet mode, in one run:
#   our client against tftpd-hpa versus the tftp-hpa client against tftpd-hpa
#   (get and put), and the tftp-hpa client against our server versus against
#   tftpd-hpa (get and put).
# Prints each time (best of a few rounds) and the four ratios ours/theirs;
# fails when a transfer does not arrive byte-identical. Needs tftpd-hpa,
# tftp-hpa and a built netrove-cli:
#   bench/tftp_vs_hpa.sh [path/to/netrove-cli] [rounds]
set -euo pipefail
cli=$(realpath "${1:-build/dev/src/cli/netrove-cli}")
rounds=${2:-3}
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
export NETROVE_HOME=$work/home
mkdir -p "$work/hpa" "$work/ours" "$work/client" "$NETROVE_HOME"
head -c $((10 * 1024 * 1024)) /dev/urandom >"$work/source.bin"
cp "$work/source.bin" "$work/hpa/big.bin"
cp "$work/source.bin" "$work/ours/big.bin"

free_port() { python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
hpa_port=$(free_port)
in.tftpd -L -a "127.0.0.1:$hpa_port" -u "$(id -un)" -c -s "$work/hpa" &
pids+=($!)
ours_port=$(free_port)
"$cli" tftpd --port "$ours_port" --root "$work/ours" --allow-create >"$work/ours.log" &
pids+=($!)
sleep 0.5

# Seconds (with fractions) that one command takes.
seconds() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}
same() { cmp -s "$work/source.bin" "$1" || { echo "not byte-identical: $1" >&2; exit 1; }; }

# The best of the rounds for one kind of transfer; $1 names it, the rest is
# run in $work/client with the round number in ROUND, and $check is compared.
best() {
  local name=$1 best_time="" t round
  shift
  for round in $(seq "$rounds"); do
    rm -f "$work"/client/*.bin "$work"/hpa/up-*.bin "$work"/ours/up-*.bin
    t=$(cd "$work/client" && ROUND=$round seconds "$@")
    same "$(eval echo "$check")"
    if [ -z "$best_time" ] || (($(echo "$t < $best_time" | bc -l))); then best_time=$t; fi
  done
  printf '%-44s %8.3f s\n' "$name" "$best_time" >&2
  echo "$best_time"
}

cp "$work/source.bin" "$work/client/local.src"
check='$work/client/got.bin'
our_get=$(best "netrove-cli tftp get from tftpd-hpa" "$cli" tftp get --binary "127.0.0.1:$hpa_port" big.bin got.bin)
hpa_get=$(best "tftp-hpa get from tftpd-hpa" tftp -m octet 127.0.0.1 "$hpa_port" -c get big.bin got.bin)
check='$work/hpa/up-1.bin'
our_put=$(best "netrove-cli tftp put to tftpd-hpa" bash -c "'$cli' tftp put --binary 127.0.0.1:$hpa_port up-1.bin local.src")
hpa_put=$(best "tftp-hpa put to tftpd-hpa" tftp -m octet 127.0.0.1 "$hpa_port" -c put local.src up-1.bin)
check='$work/client/got.bin'
srv_get=$(best "tftp-hpa get from netrove-cli tftpd" tftp -m octet 127.0.0.1 "$ours_port" -c get /big.bin got.bin)
check='$work/ours/up-1.bin'
srv_put=$(best "tftp-hpa put to netrove-cli tftpd" tftp -m octet 127.0.0.1 "$ours_port" -c put local.src /up-1.bin)

ratio() { echo "scale=3; $1 / $2" | bc -l; }
echo "ratios (ours / theirs, below 1.10 meets the goal):"
echo "  our client get vs tftp-hpa get (server tftpd-hpa): $(ratio "$our_get" "$hpa_get")"
echo "  our client put vs tftp-hpa put (server tftpd-hpa): $(ratio "$our_put" "$hpa_put")"
echo "  tftp-hpa get from our server vs from tftpd-hpa:    $(ratio "$srv_get" "$hpa_get")"
echo "  tftp-hpa put to our server vs to tftpd-hpa:        $(ratio "$srv_put" "$hpa_put")"
