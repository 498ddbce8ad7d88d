#!/usr/bin/env bash
# Fails when a core file includes a Qt header or a subsystem includes one above it.
set -u
src=${1:?usage: check_layers.sh SRC_DIR}
order=(base study curves segmentation model3d exam export render ui node)
status=0
if grep -rnE '#\s*include\s*[<"]Q[A-Za-z]*(/|>|")' "$src" --include='*.h' --include='*.cpp'; then
  echo "a file under src/ includes a Qt header"; status=1
fi
rank() { local i; for i in "${!order[@]}"; do [ "${order[$i]}" = "$1" ] && echo "$i" && return; done; echo -1; }
for i in "${!order[@]}"; do
  sub=${order[$i]}
  [ -d "$src/$sub" ] || continue
  while IFS= read -r line; do
    inc=$(sed -E 's/.*#\s*include\s*"([a-z0-9_]+)\/.*/\1/' <<<"${line#*:*:}")
    r=$(rank "$inc")
    # export, render and exam sit side by side above model3d; only ui may sit above them.
    if [ "$r" -gt "$i" ] && ! { [ "$r" -ge 5 ] && [ "$r" -le 7 ] && [ "$i" -ge 5 ] && [ "$i" -le 7 ]; }; then
      echo "upward include: $line"; status=1
    fi
  done < <(grep -rnE '#\s*include\s*"[a-z0-9_]+/' "$src/$sub" --include='*.h' --include='*.cpp')
done
exit $status
