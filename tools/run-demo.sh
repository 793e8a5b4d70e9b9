#!/usr/bin/env bash
# Starts the desktop program on a demo element database.
#
#   tools/run-demo.sh [BUILD_DIR] [GPS|LL]
#
# The demo database lives in BUILD_DIR/demo/nms.ini. It is copied from
# tools/demo-nms.ini the first time and then kept, so elements added or
# deleted in the demo stay between runs; delete the file to start afresh.
# The operator's own nms.ini beside the program is never read or written.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
shift || true

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
  cat >&2 <<'MSG'
make run: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set).
The program is a desktop window. Without a desktop, run it on a virtual one:
    xvfb-run -a make run
or without any window at all (for a quick start-up check):
    QT_QPA_PLATFORM=offscreen make run
MSG
  exit 1
fi

nms="$build/bin/orvalink-nms"
[[ -x "$nms" ]] || { echo "make run: $nms is missing; build first (make build)" >&2; exit 1; }

demo_dir="$build/demo"
demo_db="$demo_dir/nms.ini"
mkdir -p "$demo_dir"
if [[ ! -f "$demo_db" ]]; then
  install -m 600 "$here/demo-nms.ini" "$demo_db" # it holds communities
  echo "make run: demo element database created at $demo_db"
fi

# The simulated network: one orvalink-sim agent per element of the demo
# database, on the element's SNMP address (127.0.0.x) with the element's MAC,
# so a probe of the address finds the element it is listed as. The agents
# listen on a high port (DEMO_SNMP_PORT, default 16161) and the program is
# told so with --snmp-port: nothing here needs root or a capability.
sim="$build/bin/orvalink-sim"
snmp_port=${DEMO_SNMP_PORT:-16161}
# Their traps go to the demo's trap destination (127.0.0.1) on a high port too.
trap_port=${DEMO_TRAP_PORT:-16162}
sim_args=()
while IFS='|' read -r section role address; do
  case "$role" in 1) kind=encoder ;; 2) kind=decoder ;; *) continue ;; esac
  [[ "$address" == 127.* ]] || continue
  mac=$(echo "$section" | sed -E 's/(..)(..)(..)(..)(..)(..)/\1:\2:\3:\4:\5:\6/')
  sim_args+=("$kind@$address/$mac")
done < <(awk -F= '
  /^\[/ { if (sec != "") print sec "|" role "|" ip; sec = substr($0, 2, 13); sub(/\].*/, "", sec); role = ""; ip = ""; next }
  toupper($1) == "ROLE" { role = $2 + 0 }
  toupper($1) == "SNMPIP" { ip = $2; gsub(/[ \r]/, "", ip) }
  END { if (sec != "") print sec "|" role "|" ip }' "$demo_db")

sim_pid=""
stop_sim() { [[ -n "$sim_pid" ]] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null; true; }
trap stop_sim EXIT INT TERM
if ((${#sim_args[@]})); then
  ready="$demo_dir/sim.out"
  # Each simulated element starts with its section's values, so what the
  # panel shows is what the device answers.
  "$sim" --port "$snmp_port" --trap-port "$trap_port" --from-ini "$demo_db" \
    --state "$demo_dir/sim-state.json" "${sim_args[@]}" >"$ready" 2>"$demo_dir/sim.log" &
  sim_pid=$!
  for _ in $(seq 50); do
    grep -q "ready" "$ready" 2>/dev/null && break
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
  done
  if grep -q "ready" "$ready" 2>/dev/null; then
    echo "make run: simulated elements (SNMP on port $snmp_port, communities morqubit/kestrvla):"
    printf '    %s\n' "${sim_args[@]}"
    echo "  choose 127.0.0.1 as NMS interface; probe 127.0.0.11 (encoder) or 127.0.0.21 (decoder)."
    # The window holds SNMP port 2979 on 127.0.0.1: the CLI sends from
    # another loopback address, so it works while the window runs.
    echo "  from a shell: $build/bin/orvalink-cli --nms 127.0.0.2 --port $snmp_port get 127.0.0.11 morqubit 15 35 14"
    echo "  their traps:  $build/bin/orvalink-cli --db $demo_db --nms 127.0.0.1 traps --port $trap_port"
  else
    echo "make run: the simulator did not start (see $demo_dir/sim.log); the program runs without it." >&2
    stop_sim; sim_pid=""
  fi
fi

"$nms" --db "$demo_db" --snmp-port "$snmp_port" "$@"
