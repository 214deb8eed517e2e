#!/usr/bin/env bash
# TFTP over loopback, 10 MiB in octet mode, in one run:
#   our client against tftpd-hpa versus the tftp-hpa client against tftpd-hpa
#   (get and put), and the tftp-hpa client against our server versus against
#   tftpd-hpa (get and put).
# The kinds take turns in each round; prints each kind's median time and the
# four ratios ours/theirs;
# fails when a transfer does not arrive byte-identical. Needs tftpd-hpa,
# tftp-hpa and a built netrove-cli:
#   bench/tftp_vs_hpa.sh [path/to/netrove-cli] [rounds] [options]
# With "options" as the third argument it measures option negotiation
# instead: a 100 MiB get from our server with blksize 1468 and windowsize 16
# against 512-byte lock-step, and the same file through the other clients
# (curl negotiates blksize; the tftp-hpa client knows no options) from our
# server and from tftpd-hpa (which knows blksize but not windowsize).
set -euo pipefail
cli=$(realpath "${1:-build/dev/src/cli/netrove-cli}")
rounds=${2:-7}
mode=${3:-plain}
size_mib=10
[ "$mode" = options ] && size_mib=100
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
export NETROVE_HOME=$work/home
mkdir -p "$work/hpa" "$work/ours" "$work/client" "$NETROVE_HOME"
head -c $((size_mib * 1024 * 1024)) /dev/urandom >"$work/source.bin"
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

# One transfer: $1 is the file that must arrive identical, the rest the
# command, run in $work/client. Prints its time.
timed() {
  local arrived=$1 t
  shift
  rm -f "$work"/client/got.bin "$work"/hpa/up.bin "$work"/ours/up.bin
  t=$(cd "$work/client" && seconds "$@")
  same "$arrived"
  echo "$t"
}
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

cp "$work/source.bin" "$work/client/local.src"
report() { printf '%-52s median %7.3f s of %s\n' "$1" "$(median "${@:2}")" "$(echo "${@:2}" | xargs printf '%.2f ')"; }
speedup() { echo "scale=2; $1 / $(median "${@:2}")" | bc -l; }

if [ "$mode" = options ]; then
  declare -a lock ours_win ours_hpa curl_ours curl_hpa hpa_ours hpa_hpa
  for round in $(seq "$rounds"); do
    lock+=("$(timed "$work/client/got.bin" "$cli" tftp --binary get "127.0.0.1:$ours_port" big.bin got.bin)")
    ours_win+=("$(timed "$work/client/got.bin" "$cli" tftp --binary --blksize 1468 --windowsize 16 get "127.0.0.1:$ours_port" big.bin got.bin)")
    ours_hpa+=("$(timed "$work/client/got.bin" "$cli" tftp --binary --blksize 1468 --windowsize 16 get "127.0.0.1:$hpa_port" big.bin got.bin)")
    curl_ours+=("$(timed "$work/client/got.bin" curl -s --tftp-blksize 1468 -o got.bin "tftp://127.0.0.1:$ours_port/big.bin")")
    curl_hpa+=("$(timed "$work/client/got.bin" curl -s --tftp-blksize 1468 -o got.bin "tftp://127.0.0.1:$hpa_port/big.bin")")
    hpa_ours+=("$(timed "$work/client/got.bin" tftp -m octet 127.0.0.1 "$ours_port" -c get big.bin got.bin)")
    hpa_hpa+=("$(timed "$work/client/got.bin" tftp -m octet 127.0.0.1 "$hpa_port" -c get big.bin got.bin)")
  done
  echo "${size_mib} MiB get over loopback, octet, $rounds rounds:"
  report "ours, 512-byte lock-step, from our server" "${lock[@]}"
  report "ours, blksize 1468 windowsize 16, from our server" "${ours_win[@]}"
  report "ours, blksize 1468 windowsize 16, from tftpd-hpa" "${ours_hpa[@]}"
  report "curl --tftp-blksize 1468, from our server" "${curl_ours[@]}"
  report "curl --tftp-blksize 1468, from tftpd-hpa" "${curl_hpa[@]}"
  report "tftp-hpa (512, no options), from our server" "${hpa_ours[@]}"
  report "tftp-hpa (512, no options), from tftpd-hpa" "${hpa_hpa[@]}"
  echo "speed-ups (their median time / ours with blksize 1468 windowsize 16 from our server):"
  echo "  over our 512-byte lock-step (goal >= 5):  $(speedup "$(median "${lock[@]}")" "${ours_win[@]}")"
  echo "  over curl blksize 1468 from tftpd-hpa:    $(speedup "$(median "${curl_hpa[@]}")" "${ours_win[@]}")"
  echo "  over tftp-hpa from tftpd-hpa:             $(speedup "$(median "${hpa_hpa[@]}")" "${ours_win[@]}")"
  exit 0
fi

# The six kinds take turns in every round, so a change of the machine's load
# falls on all of them alike; each kind's median is compared.
declare -a our_get hpa_get our_put hpa_put srv_get srv_put
for round in $(seq "$rounds"); do
  our_get+=("$(timed "$work/client/got.bin" "$cli" tftp --binary get "127.0.0.1:$hpa_port" big.bin got.bin)")
  hpa_get+=("$(timed "$work/client/got.bin" tftp -m octet 127.0.0.1 "$hpa_port" -c get big.bin got.bin)")
  our_put+=("$(timed "$work/hpa/up.bin" "$cli" tftp --binary put "127.0.0.1:$hpa_port" up.bin local.src)")
  hpa_put+=("$(timed "$work/hpa/up.bin" tftp -m octet 127.0.0.1 "$hpa_port" -c put local.src up.bin)")
  srv_get+=("$(timed "$work/client/got.bin" tftp -m octet 127.0.0.1 "$ours_port" -c get /big.bin got.bin)")
  srv_put+=("$(timed "$work/ours/up.bin" tftp -m octet 127.0.0.1 "$ours_port" -c put local.src /up.bin)")
done

report "netrove-cli tftp get from tftpd-hpa" "${our_get[@]}"
report "tftp-hpa get from tftpd-hpa" "${hpa_get[@]}"
report "netrove-cli tftp put to tftpd-hpa" "${our_put[@]}"
report "tftp-hpa put to tftpd-hpa" "${hpa_put[@]}"
report "tftp-hpa get from netrove-cli tftpd" "${srv_get[@]}"
report "tftp-hpa put to netrove-cli tftpd" "${srv_put[@]}"
ratio() { echo "scale=3; $(median "${@:2}") / $1" | bc -l; }
echo "ratios of the medians (ours / theirs, up to 1.10 meets the goal):"
echo "  our client get vs tftp-hpa get (server tftpd-hpa): $(ratio "$(median "${hpa_get[@]}")" "${our_get[@]}")"
echo "  our client put vs tftp-hpa put (server tftpd-hpa): $(ratio "$(median "${hpa_put[@]}")" "${our_put[@]}")"
echo "  tftp-hpa get from our server vs from tftpd-hpa:    $(ratio "$(median "${hpa_get[@]}")" "${srv_get[@]}")"
echo "  tftp-hpa put to our server vs to tftpd-hpa:        $(ratio "$(median "${hpa_put[@]}")" "${srv_put[@]}")"
