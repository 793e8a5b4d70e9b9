#!/usr/bin/env bash
# Start-up of the desktop program to a shown window, and its peak memory, on
# a virtual display: with the 3-element demo database (the baseline) and with
# a database of 1,000 elements; prints both and their ratio.
#
#   tools/measure-startup.sh [BUILD_DIR] [ROUNDS]
#
# With MINWIN set to a minimal Qt 6 main window built beside (one that
# shows a window titled "Orvalink SNMP NMS" and ignores its arguments), it
# also starts that window the same way in the same run and prints each
# start-up as a ratio of it.
#
# Goals: under 0.5 s to the window and under 80 MB peak, with 1,000 elements.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
rounds=${2:-5}
nms="$build/bin/orvalink-nms"
[[ -x "$nms" ]] || { echo "measure-startup: $nms is missing; build first" >&2; exit 1; }
for tool in xvfb-run xdotool; do
  command -v "$tool" >/dev/null || { echo "measure-startup: $tool is missing (tools/install-deps.sh)" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/config/Quorvane" "$work/runtime"
chmod 700 "$work/runtime"
cat > "$work/config/Quorvane/Quorvane.conf" <<'CONF'
[Orvalink%20SNMP]
EULA1=1
NMS%20IP%20Address=127.0.0.1
CONF
cp "$here/demo-nms.ini" "$work/small.ini"
python3 - "$work/large.ini" <<'PY'
import sys
keys = ["NAME", "IP", "MASK", "GW", "TYPE", "MULTI", "SN", "VER", "SFN", "LLO", "BUF", "ATT",
        "SDM", "SDL", "SDT", "DLY", "SNMPIP", "SNMPRO", "SNMPRW", "SNMPNM", "SNMPGW", "SNMPDN",
        "SNMPTR", "ROLE"]
with open(sys.argv[1], "w", newline="\r\n") as f:
    for i in range(1000):
        f.write("[%012X]\n" % (0x2E8BF2000000 + i))
        for k in keys:
            v = {"NAME": "ELEMENT %-8d" % i, "ROLE": "1" if i % 2 else "2", "ATT": "200",
                 "SNMPRO": "morqubit", "SNMPRW": "kestrvla"}.get(k, "127.20.%d.%d" % (i // 250, i % 250))
            f.write("%s=%s\n" % (k, v))
PY

# One start on the virtual display: milliseconds to the shown main window,
# then the peak resident memory in kB.
cat > "$work/one.sh" <<'ONE'
#!/usr/bin/env bash
set -euo pipefail
nms=$1 db=$2
start=$(date +%s%N)
"$nms" --db "$db" >/dev/null 2>&1 &
pid=$!
# Asked every few milliseconds (xdotool's own --sync waits half a second
# between looks, which would hide the figure being measured).
until xdotool search --onlyvisible --name "Orvalink SNMP NMS" >/dev/null 2>&1; do
  kill -0 "$pid" 2>/dev/null || { echo "the program ended before showing its window" >&2; exit 1; }
  sleep 0.005
done
end=$(date +%s%N)
sleep 0.3
peak=$(awk '/VmHWM/ {print $2}' "/proc/$pid/status")
kill "$pid"; wait "$pid" 2>/dev/null || true
echo "$(( (end - start) / 1000000 )) $peak"
ONE
chmod +x "$work/one.sh"

measure() {
  local db=$1 program=${2:-$nms} times=() peaks=() t p
  for ((i = 0; i < rounds; i++)); do
    read -r t p < <(HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" \
      xvfb-run -a -n $((RANDOM % 400 + 300)) -s "-screen 0 1280x800x24" "$work/one.sh" "$program" "$db")
    times+=("$t"); peaks+=("$p")
  done
  # Median of the times, largest peak.
  printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {printf "%d ", a[int((NR+1)/2)]}'
  printf '%s\n' "${peaks[@]}" | sort -n | tail -1
}

read -r small_ms small_kb < <(measure "$work/small.ini")
read -r large_ms large_kb < <(measure "$work/large.ini")
echo "start-up to the shown window, median of $rounds starts on a running virtual display:"
printf '  3 elements:     %5d ms, peak %5.1f MB\n' "$small_ms" "$(echo "$small_kb / 1024" | bc -l)"
printf '  1,000 elements: %5d ms, peak %5.1f MB   (goals: under 500 ms, under 80 MB)\n' \
  "$large_ms" "$(echo "$large_kb / 1024" | bc -l)"
printf 'ratio 1,000 / 3 elements: time %.2f, memory %.2f\n' \
  "$(echo "$large_ms / $small_ms" | bc -l)" "$(echo "$large_kb / $small_kb" | bc -l)"
if [[ -n "${MINWIN:-}" ]]; then
  [[ -x "$MINWIN" ]] || { echo "measure-startup: MINWIN=$MINWIN is no program" >&2; exit 1; }
  read -r min_ms _ < <(measure "$work/small.ini" "$MINWIN")
  printf 'the minimal window: %d ms; ratios 3 elements %.2f, 1,000 elements %.2f (goals: 0.8, 1.0)\n' \
    "$min_ms" "$(echo "$small_ms / $min_ms" | bc -l)" "$(echo "$large_ms / $min_ms" | bc -l)"
fi
