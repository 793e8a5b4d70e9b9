#!/usr/bin/env bash
# Source rules that a compiler does not check; run by `make test` (ctest
# "check_source"). Fix formatting with `make format`.
#  1. Every C++ file follows .clang-format.
#  2. The GUI-free folders never include a widgets folder.
#  3. The simulator shares no code with the client (each side checks the other).
#  4. The layers of src/ include only downwards.
set -uo pipefail
cd "$(dirname "$0")/.."

status=0
mapfile -t files < <(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' | sort -u)
existing=()
for f in "${files[@]}"; do [[ -f "$f" ]] && existing+=("$f"); done

if ! command -v clang-format >/dev/null; then
  echo "check-source: clang-format is missing (make deps installs it)" >&2
  exit 1
fi
unformatted=()
for f in "${existing[@]}"; do
  if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then
    unformatted+=("$f")
  fi
done
if ((${#unformatted[@]})); then
  echo "check-source: not formatted with .clang-format (run 'make format'):" >&2
  printf '  %s\n' "${unformatted[@]}" >&2
  status=1
fi

core='^(src/(core|store|snmp|devops|config|monitor|remote|netutil)|cli)/'
widgets='#include [<"](app/|panel/|dialogs/|ui_|QtWidgets|QWidget|QDialog|QApplication)'
for f in "${existing[@]}"; do
  if [[ "$f" =~ $core ]] && grep -nE "$widgets" "$f" >/dev/null; then
    echo "check-source: $f is GUI-free but includes a widget header:" >&2
    grep -nE "$widgets" "$f" | sed 's/^/  /' >&2
    status=1
  fi
  if [[ "$f" == sim/* ]] && grep -nE '#include "(snmp|store|core|devops|config|monitor|remote|netutil)/' "$f" >/dev/null; then
    echo "check-source: $f is the simulator but includes client code:" >&2
    grep -nE '#include "(snmp|store|core|devops|config|monitor|remote|netutil)/' "$f" | sed 's/^/  /' >&2
    status=1
  fi
done

# 4. Layers: a folder includes only folders of a lower rank (no include runs
#    back up, no circle). Folders of one rank do not include each other.
declare -A rank=([core]=0 [store]=1 [netutil]=1 [snmp]=2 [remote]=2 [devops]=3
  [config]=4 [monitor]=4 [panel]=5 [dialogs]=6 [app]=7)
for f in "${existing[@]}"; do
  [[ "$f" =~ ^src/([a-z]+)/ ]] || continue
  own=${BASH_REMATCH[1]}
  [[ -n "${rank[$own]:-}" ]] || { echo "check-source: $f is in a folder with no layer ($own)" >&2; status=1; continue; }
  while IFS= read -r used; do
    [[ "$used" == "$own" || -z "${rank[$used]:-}" ]] && continue
    if ((rank[$used] >= rank[$own])); then
      echo "check-source: $f ($own) includes $used/, which is not below it" >&2
      status=1
    fi
  done < <(grep -oE '^#include "[a-z]+/' "$f" | sed -E 's/#include "([a-z]+)\//\1/' | sort -u)
done

((status == 0)) && echo "check-source: ${#existing[@]} files formatted and layered"
exit $status
