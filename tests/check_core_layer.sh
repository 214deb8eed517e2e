#!/usr/bin/env bash
# Fails when the layers or the folders are crossed: a core source includes a
# Qt header, a core-only program links Qt, or a folder includes from one it
# must not use (the foundation from nothing above it, a tool folder from
# another tool folder or from the application).
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

tool_folders="diagnostics query transfer news peer desktop"
allowed_for() {
  case $1 in
    base) echo "base" ;;
    widgets) echo "base widgets" ;;
    app) echo "base widgets app $tool_folders" ;;
    cli) echo "base cli $tool_folders" ;;
    *) echo "base widgets $1" ;;
  esac
}
for dir in "$src_dir"/*/; do
  folder=$(basename "$dir")
  [ "$folder" = resources ] && continue
  allowed=$(allowed_for "$folder")
  while IFS=: read -r file line included; do
    target=${included%%/*}
    case " $allowed " in *" $target "*) ;; *)
      echo "$file:$line: $folder/ must not include $included"; status=1 ;;
    esac
  done < <(grep -rnoE '^\s*#\s*include\s*"[a-z_]+/[^"]+"' "$dir" --include='*.h' --include='*.cpp' |
           sed -E 's/^([^:]+):([0-9]+):.*"([^"]+)"/\1:\2:\3/')
done
[ $status -eq 0 ] && echo "layers and folders are kept"
exit $status
