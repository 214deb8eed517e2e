#!/usr/bin/env bash
# Checks what an installed Netrove consists of. Reads the package built by
# scripts/package when one is given and present (dpkg-deb -x), otherwise
# installs the build into a throw-away DESTDIR with the package's prefix.
#   check_install_tree.sh SOURCE_DIR BUILD_DIR [DEB]
set -euo pipefail
source_dir=$1 build_dir=$2 deb=${3:-}
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT

# A package older than this build says nothing about the tree under test:
# check the build instead, so a stale package cannot hide a fault.
if [ -n "$deb" ] && [ -f "$deb" ] && [ "$build_dir/src/cli/netrove-cli" -nt "$deb" ]; then
  echo "$deb is older than $build_dir: checking the build instead"
  deb=
fi
if [ -n "$deb" ] && [ -f "$deb" ]; then
  echo "checking $deb"
  dpkg-deb -x "$deb" "$tree"
else
  echo "checking an install of $build_dir"
  DESTDIR=$tree cmake --install "$build_dir" --prefix /usr >/dev/null
fi

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_file() { [ -f "$tree/$1" ] || fail "missing /$1"; }

helper=usr/lib/netrove/netrove-icmp-helper
for program in usr/bin/netrove usr/bin/netrove-cli "$helper"; do
  [ -x "$tree/$program" ] || fail "missing executable /$program"
  # Capabilities come from the post-install script, never a setuid bit.
  [ -u "$tree/$program" ] && fail "/$program is setuid"
done
# No file carries a capability in the tree; the post-install script grants
# cap_net_raw to the helper and to nothing else.
if command -v getcap >/dev/null; then
  capable=$(getcap -r "$tree" 2>/dev/null || true)
  [ -z "$capable" ] && echo "no file capability in the tree" || fail "files with capabilities: $capable"
fi
if [ -n "$deb" ] && [ -f "$deb" ]; then
  control=$(mktemp -d)
  dpkg-deb -e "$deb" "$control"
  postinst=$(cat "$control/postinst")
  rm -rf "$control"
else
  postinst=$(cat "$build_dir/debian/postinst")
fi
granted=$(grep -oE '/usr/[a-z/-]+' <<<"$(grep -v '^#' <<<"$postinst")" | sort -u)
[ "$granted" = "/$helper" ] || fail "the post-install script names $granted, not only /$helper"
# The helper is the small program: no Qt, nothing of the GUI.
if command -v readelf >/dev/null; then
  readelf -d "$tree/$helper" | grep -qi 'NEEDED.*libQt' && fail "the helper links Qt"
  # The package's programs are hardened (scripts/package builds Release).
  if [ -n "$deb" ] && [ -f "$deb" ]; then
    for program in usr/bin/netrove usr/bin/netrove-cli "$helper"; do
      readelf -d "$tree/$program" | grep -q 'BIND_NOW' || fail "/$program is not linked with -z now"
      readelf -l "$tree/$program" | grep -q 'GNU_RELRO' || fail "/$program has no RELRO segment"
      readelf -h "$tree/$program" | grep -q 'DYN' || fail "/$program is not position-independent"
    done
  fi
fi
app_id=org.netrove.Netrove
expect_file "usr/share/applications/$app_id.desktop"
expect_file "usr/share/metainfo/$app_id.metainfo.xml"
expect_file "usr/share/icons/hicolor/scalable/apps/$app_id.svg"
expect_file "usr/share/icons/hicolor/48x48/apps/$app_id.png"
expect_file usr/share/man/man1/netrove.1.gz
expect_file usr/share/man/man1/netrove-cli.1.gz
expect_file usr/share/doc/netrove/copyright
for page in "$source_dir"/docs/help/*.html; do
  expect_file "usr/share/netrove/help/$(basename "$page")"
done
if command -v file >/dev/null; then
  file -b "$tree/usr/share/icons/hicolor/48x48/apps/$app_id.png" | grep -q '48 x 48' ||
    fail "the PNG icon is not 48 x 48"
fi

# The man page must keep up with the program: every command and every long
# option the installed netrove-cli knows appears in it.
cli=$tree/usr/bin/netrove-cli
man_page=$(gzip -dc "$tree/usr/share/man/man1/netrove-cli.1.gz")
commands=$("$cli" --help | sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p')
[ -n "$commands" ] || fail "netrove-cli --help lists no command"
for command in $commands; do
  grep -Eq "^\.(B|BR|BI) ${command//-/\\\\-}( |$)" <<<"$man_page" ||
    fail "netrove-cli.1 does not describe the command $command"
  for option in $("$cli" "$command" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    [ "$option" = --help ] && continue
    grep -Fq -- "${option//-/\\-}" <<<"$man_page" ||
      fail "netrove-cli.1 does not describe $command $option"
  done
done

# Every file an installed help page refers to (pictures, other pages, style
# sheets) is in the tree.
help_dir=$tree/usr/share/netrove/help
for page in "$help_dir"/*.html; do
  while IFS= read -r target; do
    case "$target" in *://* | mailto:* | '#'*) continue ;; esac
    [ -e "$help_dir/${target%%#*}" ] || fail "$(basename "$page") refers to missing ${target%%#*}"
  done < <(grep -oE '(src|href)="[^"]*"' "$page" | sed -E 's/^(src|href)="([^"]*)"$/\2/')
done

# man netrove names every tool of the README's table and the listeners.
gui_page=$(gzip -dc "$tree/usr/share/man/man1/netrove.1.gz")
while IFS= read -r tools; do
  IFS=',' read -ra names <<<"$tools"
  for name in "${names[@]}"; do
    grep -Fq -- "${name# }" <<<"$gui_page" || fail "netrove.1 does not name the tool ${name# }"
  done
done < <(sed -n '/^## Tools/,/^## /s/^| \([A-Za-z][^|]*[^ |]\) *|.*/\1/p' "$source_dir/README.md" |
         grep -v '^Tool$')
for text in 17321 17322 'chat\-port' 'broadcast\-port' 'version'; do
  grep -Fq -- "$text" <<<"$gui_page" || fail "netrove.1 does not mention $text"
done

if [ "$failures" -ne 0 ]; then
  echo "$failures problem(s) in the installed layout"
  exit 1
fi
echo "layout complete: $(find "$tree" -type f | wc -l) files"
