#!/usr/bin/env bash
# Pictures of the program for the README and for reviewing the layout.
#
#   tools/screenshot.sh [BUILD_DIR] [OUT.png]
#
# Starts BUILD_DIR/bin/orvalink-nms on a virtual display (Xvfb) with the demo
# element database (tools/demo-nms.ini, 127.0.0.x addresses only), selects the
# first element of the tree, pings it and starts its level meter against the
# demo's simulated elements, and writes the window to OUT.png (default
# docs/screenshot.png) and its panel to docs/panel-live.png. Then it opens
# View > Events and writes the window again as docs/events.png, after a few
# orvalink-cli probes and an apply against the same simulated elements have
# filled the event log. Last, with every simulated link down and the third
# element silent, it opens View > Alarms (docs/alarms.png) and draws the
# tree with the silent element's tooltip (docs/live-status.png). Settings, lock file and database live in a
# temporary folder, so nothing of the user's is read or changed; the start-up
# notice is preset as dismissed so that it does not cover the window.
#
# When BUILD_DIR/bin/panel-grab exists it also draws the element panel alone
# showing an encoder and a decoder: docs/panel-encoder.png, docs/panel-decoder.png.
# When BUILD_DIR/bin/devops-grab exists it draws the "Add new element" window
# at the end of a probe of a simulated encoder on 127.0.96.1 (needs root for
# port 161; without it the window is drawn before a probe) and the progress
# window of an apply: docs/add-element.png, docs/apply.png.
#
# With BUILD_DIR/bin/remote-windows-grab and openbox it also draws the paging
# and waiting windows: docs/remote-paging.png, docs/remote-waiting.png.
# When BUILD_DIR/bin/windows-grab exists it draws the three device windows after
# real reads from a simulated encoder and decoder on 127.0.97.x:
# docs/snmp-properties.png, docs/statistics.png, docs/sfn-adjustment.png.
#
# With BUILD_DIR/bin/config-grab and openbox it draws the configuration
# commands (Import configuration's changes, Apply to selected):
# docs/export-import.png, docs/apply-to-selected.png.
#
# Needs xvfb-run, xdotool and ImageMagick's import (tools/install-deps.sh).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
out=${2:-$root/docs/screenshot.png}
mkdir -p "$(dirname "$out")"
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")

nms="$build/bin/orvalink-nms"
[[ -x "$nms" ]] || { echo "screenshot: $nms is missing; build first" >&2; exit 1; }
for tool in xvfb-run xdotool import; do
  command -v "$tool" >/dev/null || { echo "screenshot: $tool is missing (tools/install-deps.sh)" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/config/Quorvane" "$work/runtime"
chmod 700 "$work/runtime"
cp "$here/demo-nms.ini" "$work/nms.ini"
cat > "$work/config/Quorvane/Quorvane.conf" <<CONF
[Orvalink%20SNMP]
EULA1=1
NMS%20IP%20Address=127.0.0.1
Trap%20Port=${DEMO_TRAP_PORT:-16162}

[Orvalink%20NMS%20window]
Show%20audio%20level%20control=1
CONF

# The part that runs on the virtual display: the demo's simulated elements
# (SNMP on a high port, the remote protocol on 2977 of their 127.0.0.x
# addresses), the program with a window manager, and an operator who clicks
# the first element, its ping button and the level check box.
cat > "$work/shoot.sh" <<'SHOOT'
#!/usr/bin/env bash
set -euo pipefail
nms=$1 db=$2 out=$3 live=$4 sim=$5 port=$6 cli=$7 events=$8 states=$9 alarms=${10} trapport=${11}
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done' EXIT
if command -v openbox >/dev/null; then
  openbox >/dev/null 2>&1 &
  pids+=($!)
  sleep 0.5
fi
if [[ -x "$sim" ]]; then
  # The third element never answers: the tree shows it down.
  "$sim" --port "$port" --from-ini "$db" --trap-port "$trapport" --silent 127.0.0.22 \
    encoder@127.0.0.11/2E:8B:F2:00:01:01 decoder@127.0.0.21/2E:8B:F2:00:02:01 \
    decoder@127.0.0.22/2E:8B:F2:00:02:02 >"$db.sim" 2>&1 &
  simpid=$!
  pids+=($!)
  for _ in $(seq 50); do grep -q ready "$db.sim" 2>/dev/null && break; sleep 0.1; done
fi
# Outcomes of the CLI for the event log: a probe, an apply with its
# confirmed SET, and a probe of an address where nothing answers.
if [[ -x "$cli" && -x "$sim" ]]; then
  c=("$cli" --db "$db" --nms 127.0.0.1 --port "$port")
  "${c[@]}" probe 127.0.0.21 >/dev/null 2>&1 || true
  "${c[@]}" apply 2E:8B:F2:00:02:01 att=180 --yes --spacing-ms 0 >/dev/null 2>&1 || true
  "${c[@]}" probe 127.0.0.99 >/dev/null 2>&1 || true
fi
"$nms" --db "$db" --snmp-port "$port" &
pids+=($!)
win=""
for _ in $(seq 1 100); do
  win=$(xdotool search --onlyvisible --name "Orvalink SNMP NMS" 2>/dev/null | head -n1 || true)
  [[ -n "$win" ]] && break
  sleep 0.1
done
[[ -n "$win" ]] || { echo "screenshot: the main window did not appear" >&2; exit 1; }
xdotool windowmove "$win" 0 0 windowsize "$win" 1100 760 || true
sleep 0.5
# Click the first node of the element tree (top left of the window), as an
# operator would, then the ping button and the level check box of the panel.
xdotool mousemove --window "$win" 150 136 click 1
sleep 0.8
xdotool mousemove --window "$win" 812 611 click 1
sleep 0.8
xdotool mousemove --window "$win" 725 662 click 1
sleep 1.5
xdotool mousemove --window "$win" 400 500
import -window "$win" "$out"
import -window "$win" -crop 482x650+614+64 +repage "$live"
# View > Events, docked below the tree and the panel.
xdotool windowsize "$win" 1100 980 || true
xdotool key --window "$win" alt+v e
sleep 1
import -window "$win" "$events"
# Live status and alarms: every link goes down (the simulator's SIGUSR1),
# View > Alarms, and the tooltip of the element that does not answer.
if [[ -n "${simpid:-}" ]]; then
  kill -USR1 "$simpid"
  sleep 1.5
fi
xdotool key --window "$win" alt+v a
sleep 1
import -window "$win" "$alarms"
xdotool mousemove --window "$win" 150 188
sleep 2
import -window root -crop 560x300+0+40 +repage "$states"
SHOOT
chmod +x "$work/shoot.sh"

HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" \
  xvfb-run -a -s "-screen 0 1280x1024x24" "$work/shoot.sh" "$nms" "$work/nms.ini" "$out" \
  "$(dirname "$out")/panel-live.png" "$build/bin/orvalink-sim" "${DEMO_SNMP_PORT:-16161}" \
  "$build/bin/orvalink-cli" "$(dirname "$out")/events.png" "$(dirname "$out")/live-status.png" \
  "$(dirname "$out")/alarms.png" "${DEMO_TRAP_PORT:-16162}"
echo "screenshot: $out, $(dirname "$out")/panel-live.png, events.png, live-status.png, alarms.png"

windows="$build/bin/windows-grab"
if [[ -x "$windows" && -x "$build/bin/orvalink-sim" ]]; then
  HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" \
    xvfb-run -a -s "-screen 0 1280x800x24" "$windows" "$(dirname "$out")" >/dev/null
  echo "screenshot: $(dirname "$out")/snmp-properties.png, statistics.png, sfn-adjustment.png"
fi

grab="$build/bin/panel-grab"
if [[ -x "$grab" ]]; then
  QT_QPA_PLATFORM=offscreen HOME="$work/home" XDG_CONFIG_HOME="$work/config" \
    XDG_RUNTIME_DIR="$work/runtime" "$grab" "$work/nms.ini" "$(dirname "$out")" >/dev/null
  echo "screenshot: $(dirname "$out")/panel-encoder.png, panel-decoder.png"
fi

devgrab="$build/bin/devops-grab"
if [[ -x "$devgrab" ]]; then
  host=()
  simpid=""
  if [[ $(id -u) == 0 ]]; then
    "$build/bin/orvalink-sim" encoder@127.0.96.1 >/dev/null 2>&1 &
    simpid=$!
    sleep 0.5
    host=(127.0.96.1)
  fi
  HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" \
    xvfb-run -a -s "-screen 0 1280x800x24" "$devgrab" "$(dirname "$out")" "${host[@]}" >/dev/null
  [[ -n "$simpid" ]] && kill "$simpid"
  echo "screenshot: $(dirname "$out")/add-element.png, apply.png"
fi

# The configuration commands of the main window (export and import, apply to
# selected) against simulated elements on 127.0.108.x, with a window manager.
cgrab="$build/bin/config-grab"
if [[ -x "$cgrab" && -x "$build/bin/orvalink-sim" ]] && command -v openbox >/dev/null; then
  cat > "$work/config.sh" <<'CONFIG'
#!/usr/bin/env bash
set -euo pipefail
openbox >/dev/null 2>&1 &
wm=$!
trap 'kill "$wm" 2>/dev/null || true' EXIT
sleep 0.8
"$1" "$2"
CONFIG
  chmod +x "$work/config.sh"
  HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" \
    xvfb-run -a -s "-screen 0 1280x800x24" "$work/config.sh" "$cgrab" "$(dirname "$out")" >/dev/null
  echo "screenshot: $(dirname "$out")/export-import.png, apply-to-selected.png"
fi

# The remote protocol's paging and waiting windows, with a window manager for
# their title bars (the paging text goes to 127.0.0.1 only).
rgrab="$build/bin/remote-windows-grab"
if [[ -x "$rgrab" ]] && command -v openbox >/dev/null; then
  cat > "$work/remote.sh" <<'REMOTE'
#!/usr/bin/env bash
set -euo pipefail
openbox >/dev/null 2>&1 &
wm=$!
trap 'kill "$wm" 2>/dev/null || true' EXIT
sleep 0.8
"$1" paging "$2/remote-paging.png"
"$1" waiting "$2/remote-waiting.png"
REMOTE
  chmod +x "$work/remote.sh"
  HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" \
    xvfb-run -a -s "-screen 0 1024x600x24" "$work/remote.sh" "$rgrab" "$(dirname "$out")"
  echo "screenshot: $(dirname "$out")/remote-paging.png, remote-waiting.png"
fi
