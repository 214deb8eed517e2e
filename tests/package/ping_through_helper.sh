#!/usr/bin/env bash
# Ping as an ordinary user through the ICMP helper. A throw-away user runs
# netrove-cli, which carries no capability, inside a fresh network namespace,
# where ICMP datagram sockets are refused to every group (a new namespace's
# net.ipv4.ping_group_range is "1 0"): a reply can come only through a raw
# socket that a copy of the helper holding cap_net_raw opened. The same user
# without the helper gets the message that says how to grant the privilege.
# Needs root (the user, setcap, the namespace); skips otherwise, or fails when
# NETROVE_REQUIRE_PRIVILEGED=1.
#   ping_through_helper.sh NETROVE_CLI HELPER
set -euo pipefail
cli=$(realpath "$1") helper=$2
skip() {
  echo "skipped: $*"
  [ "${NETROVE_REQUIRE_PRIVILEGED:-0}" = 1 ] && exit 1
  exit 77
}
[ "$(id -u)" -eq 0 ] || skip "needs root (a throw-away user, setcap, a network namespace)"
for tool in setcap getcap useradd userdel unshare runuser ip; do
  command -v "$tool" >/dev/null || skip "$tool is missing (libcap2-bin, passwd, util-linux, iproute2)"
done

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
work=$(mktemp -d)
chmod 755 "$work"
user=netrove-test-$$
useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$user"
trap 'userdel "$user" 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir "$work/home"
chown "$user" "$work/home"
cp "$helper" "$work/netrove-icmp-helper"
chmod 755 "$work/netrove-icmp-helper"
setcap cap_net_raw+ep "$work/netrove-icmp-helper" ||
  skip "the file system of $work keeps no file capabilities"
[ -z "$(getcap "$cli")" ] || fail "$cli carries a file capability: $(getcap "$cli")"

# ping as the user in a namespace of its own, with the helper at $1.
ping_as_user() {
  unshare --net sh -c 'ip link set lo up &&
    echo "ping_group_range in the namespace: $(cat /proc/sys/net/ipv4/ping_group_range)" >&2 &&
    exec runuser -u "$0" -- env HOME="$1" NETROVE_HOME="$1" NETROVE_ICMP_HELPER="$2" \
      ASAN_OPTIONS=detect_leaks=0 "$3" ping --count 2 127.0.0.1' \
    "$user" "$work/home" "$1" "$cli"
}

if output=$(ping_as_user "$work/netrove-icmp-helper" 2>&1); then
  replies=$(grep -c 'Reply from 127.0.0.1' <<<"$output" || true)
  [ "$replies" -eq 2 ] || fail "expected 2 replies through the helper, got $replies: $output"
else
  fail "ping through the helper failed: $output"
fi
if output=$(ping_as_user "$work/missing-helper" 2>&1); then
  fail "ping without the helper succeeded, so the first run proved nothing: $output"
else
  grep -Fq "setcap cap_net_raw+ep $work/missing-helper" <<<"$output" ||
    fail "no fix-it message without the helper: $output"
fi
[ "$failures" -eq 0 ] || exit 1
echo "a user without privileges pinged through the helper"
