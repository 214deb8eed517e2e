#!/usr/bin/env bash
# Checks what an installed Netrove consists of. Reads the package built by
# scripts/package when one is given and present (dpkg-deb -x), otherwise
# installs the build into a throw-away DESTDIR with the package's prefix.
#   check_install_tree.sh SOURCE_DIR BUILD_DIR [DEB]
set -euo pipefail
source_dir=$1 build_dir=$2 deb=${3:-}
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT

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

for program in netrove netrove-cli; do
  [ -x "$tree/usr/bin/$program" ] || fail "missing executable /usr/bin/$program"
  # Capabilities come from the post-install script, never a setuid bit.
  [ -u "$tree/usr/bin/$program" ] && fail "/usr/bin/$program is setuid"
done
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

if [ "$failures" -ne 0 ]; then
  echo "$failures problem(s) in the installed layout"
  exit 1
fi
echo "layout complete: $(find "$tree" -type f | wc -l) files"
