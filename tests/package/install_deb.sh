#!/usr/bin/env bash
# Installs the Debian package with apt, runs it as an ordinary user and
# removes it again. It changes the system, so it runs only when asked
# (NETROVE_PACKAGE_INSTALL_TEST=1, as root, on a disposable machine).
#   install_deb.sh DEB PACKET_PROBE_PLUGIN
set -euo pipefail
deb=${1:-}
probe=${2:-}
if [ "${NETROVE_PACKAGE_INSTALL_TEST:-0}" != 1 ]; then
  echo "skipped: set NETROVE_PACKAGE_INSTALL_TEST=1 (as root, on a disposable machine)"
  exit 77
fi
[ "$(id -u)" -eq 0 ] || { echo "FAIL: the install test needs root"; exit 1; }
[ -f "$deb" ] || { echo "FAIL: no package at '$deb': run scripts/package first"; exit 1; }
if dpkg-query -W -f='${Status}' netrove 2>/dev/null | grep -q 'ok installed'; then
  echo "FAIL: a netrove package is installed already; this test will not replace it"
  exit 1
fi

files=$(dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|' | grep -v '/$')
remove() { DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq netrove >/dev/null || true; }
trap remove EXIT
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$(realpath "$deb")"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# The helper alone holds the capability (of the package's files: other
# packages' programs, such as ping, may hold their own).
capable=$(getcap -r /usr/bin /usr/lib/netrove | grep -F -f <(tr ' ' '\n' <<<"$files" | grep .) || true)
echo "$capable"
grep -q '^/usr/lib/netrove/netrove-icmp-helper.*cap_net_raw=ep' <<<"$capable" ||
  fail "the helper lacks cap_net_raw"
[ "$(wc -l <<<"$capable")" -eq 1 ] || fail "files besides the helper hold capabilities"
man -w netrove-cli >/dev/null || fail "man netrove-cli finds no page"
as_user() { runuser -u nobody -- env HOME=/tmp NETROVE_HOME="$home" "$@"; }
home=$(mktemp -d)
chown nobody "$home"
as_user /usr/bin/netrove-cli version || fail "netrove-cli version failed for nobody"
# ICMP datagram sockets are often refused (ping_group_range "1 0"), so a
# reply here is the raw socket the helper opened.
echo "net.ipv4.ping_group_range = $(cat /proc/sys/net/ipv4/ping_group_range)"
as_user /usr/bin/netrove-cli ping --count 2 127.0.0.1 || fail "ping as nobody got no reply"
# Code the GUI loads (here a plugin any user can name) opens no packet socket.
plugins=$(mktemp -d)
mkdir "$plugins/generic"
install -m 755 "$probe" "$plugins/generic/"
chmod 755 "$plugins"
probed=$(as_user env QT_QPA_PLATFORM=offscreen QT_PLUGIN_PATH="$plugins" \
  QT_QPA_GENERIC_PLUGINS=packetprobe /usr/bin/netrove --no-splash 2>/dev/null || true)
echo "$probed"
[ "$probed" = "packet socket: Operation not permitted" ] ||
  fail "a plugin loaded by the GUI was not refused a packet socket"
rm -rf "$home" "$plugins"

remove
trap - EXIT
for file in $files /usr/share/netrove /usr/share/doc/netrove; do
  [ -e "$file" ] && fail "$file is left after removal"
done
[ "$failures" -eq 0 ] || exit 1
echo "installed, ran as nobody and removed cleanly"
