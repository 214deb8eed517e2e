#!/bin/bash
# Starts a private INN (Debian inn2) for the news tests: every file in FOLDER,
# listening on 127.0.0.1:PORT, one group "local.test" that anyone on loopback
# may read and post to. Stop it with: kill "$(cat FOLDER/run/innd.pid)".
#
# Secured: with a certificate and key (PEM, made by the test) the readers
# on PORT may use STARTTLS, a second reader daemon speaks TLS from the
# first byte on TLSPORT (its pid in FOLDER/run/nnrpd-TLSPORT.pid), and only
# USER with PASSWORD may read (AUTHINFO USER/PASS, checked by ckpasswd).
# usage: inn_instance.sh FOLDER PORT [TLSPORT CERT KEY USER PASSWORD]
set -euo pipefail
folder=$1
port=$2
tls_port=${3:-}
bin=/usr/lib/news/bin
mkdir -p "$folder"/{etc,db,run,log,tmp,http} "$folder"/spool/{articles,overview,tmp,incoming,outgoing,archive}
sed -e '/^port:/d;/^nnrpdpostport:/d;/^domain:/d;/^path[a-z]*:/d' /etc/news/inn.conf >"$folder/etc/inn.conf"
cat >>"$folder/etc/inn.conf" <<CONF
port: $port
bindaddress: 127.0.0.1
nnrpdpostport: $port
domain: localdomain
pathhost: netrove.test
pathnews: /usr/lib/news
pathbin: $bin
pathcontrol: $bin/control
pathfilter: /etc/news/filter
pathetc: $folder/etc
pathdb: $folder/db
pathrun: $folder/run
pathlog: $folder/log
pathhttp: $folder/http
pathtmp: $folder/tmp
pathspool: $folder/spool
patharticles: $folder/spool/articles
pathoverview: $folder/spool/overview
pathoutgoing: $folder/spool/outgoing
pathincoming: $folder/spool/incoming
patharchive: $folder/spool/archive
CONF
cp /etc/news/storage.conf /etc/news/expire.ctl /etc/news/control.ctl /etc/news/inn-secrets.conf "$folder/etc/"
printf 'ME:*::\n' >"$folder/etc/newsfeeds"
: >"$folder/etc/incoming.conf"
if [ -n "$tls_port" ]; then
  install -m 0644 "$4" "$folder/etc/cert.pem"
  install -m 0600 "$5" "$folder/etc/key.pem"
  printf 'tlscertfile: %s\ntlskeyfile: %s\n' "$folder/etc/cert.pem" "$folder/etc/key.pem" \
    >>"$folder/etc/inn.conf"
  printf '%s:%s\n' "$6" "$(openssl passwd -6 "$7")" >"$folder/etc/newsusers"
  cat >"$folder/etc/readers.conf" <<CONF
auth "readers" { hosts: "127.0.0.1, localhost" auth: "ckpasswd -f $folder/etc/newsusers" }
access "readers" { users: "$6" newsgroups: "*" access: RPA }
CONF
else
  cat >"$folder/etc/readers.conf" <<CONF
auth "local" { hosts: "127.0.0.1, localhost" default: "<local>" }
access "local" { users: "<local>" newsgroups: "*" access: RPA }
CONF
fi
printf '%s\n' 'control 0000000000 0000000001 n' 'control.cancel 0000000000 0000000001 n' \
  'junk 0000000000 0000000001 n' 'local.test 0000000000 0000000001 y' >"$folder/db/active"
: >"$folder/db/active.times"
printf 'local.test\tNetrove tests.\n' >"$folder/db/newsgroups"
: >"$folder/db/history"
as_news=()
if [ "$(id -u)" -eq 0 ]; then
  chown -R news:news "$folder"
  as_news=(setpriv --reuid=news --regid=news --init-groups)
fi
export INNCONF="$folder/etc/inn.conf"
"${as_news[@]}" "$bin/makedbz" -i -o -f "$folder/db/history"
"${as_news[@]}" env INNCONF="$INNCONF" "$bin/innd"
if [ -n "$tls_port" ]; then
  "${as_news[@]}" env INNCONF="$INNCONF" "$bin/nnrpd" -D -S -b 127.0.0.1 -p "$tls_port"
fi
listening() {
  [ -s "$folder/run/innd.pid" ] && (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || return 1
  [ -z "$tls_port" ] || (exec 3<>"/dev/tcp/127.0.0.1/$tls_port") 2>/dev/null
}
for _ in $(seq 100); do
  listening && exit 0
  sleep 0.05
done
echo "innd did not start; see $folder/log" >&2
exit 1
