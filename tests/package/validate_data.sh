#!/usr/bin/env bash
# Validates the menu entry and the AppStream metainfo with the freedesktop
# tools. Missing tools skip the check, except where the environment demands
# every check (NETROVE_REQUIRE_PRIVILEGED=1, as CI sets).
#   validate_data.sh DESKTOP_FILE METAINFO_FILE
set -euo pipefail
desktop=$1 metainfo=$2
for tool in desktop-file-validate appstreamcli; do
  if ! command -v "$tool" >/dev/null; then
    echo "$tool is missing (packages desktop-file-utils, appstream)"
    [ "${NETROVE_REQUIRE_PRIVILEGED:-0}" = 1 ] && exit 1
    exit 77
  fi
done
desktop-file-validate "$desktop"
appstreamcli validate --no-net --pedantic "$metainfo"
