#!/usr/bin/env bash
# Fails when a core source includes a Qt header or a core-only program links Qt.
set -u
sources_list=$1 src_dir=$2 core_program=$3
status=0
while IFS= read -r source; do
  [ -z "$source" ] && continue
  case "$source" in /*) path=$source ;; *) path=$src_dir/$source ;; esac
  header=${path%.cpp}.h
  for file in "$path" "$header"; do
    [ -f "$file" ] || continue
    if grep -n -E '^\s*#\s*include\s*[<"]Q' "$file"; then
      echo "core file includes Qt: $file"; status=1
    fi
  done
done < "$sources_list"
if ldd "$core_program" | grep -i 'libQt'; then
  echo "core-only program links Qt: $core_program"; status=1
fi
[ $status -eq 0 ] && echo "core layer is free of Qt"
exit $status
