#!/usr/bin/env bash
# Start-up time of netrove to the first paint of its main window (the splash
# window that follows is not counted) and its resident memory at idle, six
# seconds after start when the splash window has gone. Runs under Xvfb when
# no display is set. Each run uses a fresh settings folder and ports of its
# own, so a running copy is not disturbed.
#   bench/startup.sh [path/to/netrove] [runs]
set -euo pipefail
program=${1:-build/release/src/netrove}
runs=${2:-5}
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$program" "$runs"
fi

work=$(mktemp -d)
pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

times=()
resident=()
for run in $(seq 1 "$runs"); do
  home="$work/home-$run"
  mkdir -p "$home"
  port=$((20000 + RANDOM % 20000))
  started=$(date +%s.%N)
  NETROVE_HOME=$home "$program" --startup-probe --chat-port "$port" \
    --broadcast-port $((port + 1)) >"$work/out-$run" 2>/dev/null &
  pid=$!
  for _ in $(seq 1 200); do
    grep -q '^first-paint ' "$work/out-$run" && break
    sleep 0.05
  done
  painted=$(sed -n 's/^first-paint //p' "$work/out-$run")
  [ -n "$painted" ] || { echo "run $run: no first paint" >&2; exit 1; }
  times+=("$(awk -v a="$started" -v b="$painted" 'BEGIN { printf "%.1f", (b - a) * 1000 }')")
  sleep 6
  resident+=("$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status")")
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  pid=""
done

median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
echo "start-up to first paint (ms): ${times[*]}"
echo "median: $(median "${times[@]}") ms"
echo "resident memory at idle (kB): ${resident[*]}"
echo "median: $(median "${resident[@]}") kB"
