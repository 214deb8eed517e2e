#!/usr/bin/env bash
# Validates the menu entry and the AppStream metainfo with the freedesktop
# tools (with the network allowed, so every address the metainfo names must
# answer), and checks that the package's copyright file, the metainfo and the
# About box tell the same licence. Missing tools skip the check, except where
# the environment demands every check (NETROVE_REQUIRE_PRIVILEGED=1, as CI
# sets).
#   validate_data.sh DESKTOP_FILE METAINFO_FILE COPYRIGHT_FILE ABOUT_STRINGS
set -euo pipefail
desktop=$1 metainfo=$2 copyright=$3 about=$4
license=$(sed -n 's/^License: //p' "$copyright" | head -n 1)
holder=$(sed -n 's/^Copyright: //p' "$copyright" | head -n 1)
grep -Fq "<project_license>$license</project_license>" "$metainfo" ||
  { echo "FAIL: the metainfo does not name the licence $license of $copyright"; exit 1; }
grep -Fq "$holder All rights reserved." "$about" ||
  { echo "FAIL: the About box does not say '$holder All rights reserved.'"; exit 1; }
for tool in desktop-file-validate appstreamcli; do
  if ! command -v "$tool" >/dev/null; then
    echo "$tool is missing (packages desktop-file-utils, appstream)"
    [ "${NETROVE_REQUIRE_PRIVILEGED:-0}" = 1 ] && exit 1
    exit 77
  fi
done
desktop-file-validate "$desktop"
appstreamcli validate --pedantic "$metainfo"
