#!/usr/bin/env bash
# Fault: an element falls silent and its alert never reaches Prometheus.
#
#   prometheus-alert.sh BUILD_DIR SOURCE_DIR
#
# Two simulated elements (one orvalink-sim each, 127.0.122.1 and .2), one
# `orvalink-cli monitor` reading them every second, and a real Prometheus
# (its own data folder and port, on loopback) scraping the monitor every
# second with the shipped rules, OrvalinkElementDown's 2m shortened to 2s.
# Once Prometheus sees both up, the second element's simulator is stopped;
# OrvalinkElementDown must then fire for it, and for it alone, as
# Prometheus's own /api/v1/alerts reports, within 60 s. Everything stays on
# 127.0.0.0/8. Exit 77 (skipped) when a tool is missing.
set -euo pipefail

build=$(cd "${1:?build folder}" && pwd)
src=$(cd "${2:?source folder}" && pwd)
for tool in prometheus curl python3; do
  command -v $tool >/dev/null || {
    echo "SKIP: $tool is not installed (tools/install-deps.sh)"
    exit 77
  }
done

tmp=$(mktemp -d)
pids=()
cleanup() {
  local p
  for p in "${pids[@]}"; do
    kill "$p" 2>/dev/null || true
  done
  for p in "${pids[@]}"; do
    wait "$p" 2>/dev/null || true
  done
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  for f in "$tmp"/*.log; do
    echo "--- $(basename "$f") (last lines)" >&2
    tail -n 15 "$f" >&2
  done
  exit 1
}
# Waits up to $1 seconds for the command to succeed.
within() {
  local seconds=$1
  shift
  local end=$((SECONDS + seconds))
  until "$@"; do
    ((SECONDS < end)) || return 1
    sleep 0.5
  done
}
# The test's net, as SimNet (tests/common/SimProcess.h) gives it: its
# addresses 127.0.NET.x and its ports 10000 + 64 * NET + k.
NET=122
host() { echo "127.0.$NET.$1"; }
port() { echo $((10000 + 64 * NET + $1)); }

agent_port=$(port 61)
nms=$(host 250)
cat >"$tmp/nms.ini" <<EOF
[2E8BF2007A01]
NAME=STUDIO A
ROLE=1
SFN=0
SNMPIP=$(host 1)
SNMPRO=morqubit
[2E8BF2007A02]
NAME=STUDIO B
ROLE=2
SFN=0
SNMPIP=$(host 2)
SNMPRO=morqubit
EOF

start_sim() { # ROLE@ADDR LOG
  "$build/bin/orvalink-sim" --port $agent_port --no-remote "$1" >"$tmp/$2" 2>&1 &
  pids+=($!)
  within 10 grep -q "orvalink-sim: ready" "$tmp/$2" || fail "orvalink-sim $1 did not start"
}
start_sim "encoder@$(host 1)" sim-a.log
start_sim "decoder@$(host 2)" sim-b.log
sim_b=${pids[-1]}

"$build/bin/orvalink-cli" --db "$tmp/nms.ini" --nms $nms --port $agent_port monitor \
  --listen "$nms:0" --interval 1 --trap-port 0 >"$tmp/monitor.log" 2>&1 &
monitor=$!
pids+=($monitor)
within 10 grep -q "metrics at http://" "$tmp/monitor.log" || fail "the monitor did not start"
monitor_at=$(sed -n 's|.*metrics at http://\([0-9.]*:[0-9]*\)/metrics.*|\1|p' "$tmp/monitor.log")

# The shipped rules, the down alert's 2 minutes made 2 seconds.
sed '/alert: OrvalinkElementDown/,/for:/ s/for: 2m/for: 2s/' \
  "$src/packaging/prometheus/orvalink-rules.yml" >"$tmp/rules.yml"
cmp -s "$tmp/rules.yml" "$src/packaging/prometheus/orvalink-rules.yml" &&
  fail "the rules file has no 'for: 2m' for OrvalinkElementDown"
cat >"$tmp/prometheus.yml" <<EOF
global:
  scrape_interval: 1s
  evaluation_interval: 1s
rule_files:
  - $tmp/rules.yml
scrape_configs:
  - job_name: orvalink
    static_configs:
      - targets: ['$monitor_at']
EOF
prom=http://$nms:$(port 1)
prometheus --config.file="$tmp/prometheus.yml" --storage.tsdb.path="$tmp/data" \
  --web.listen-address="$nms:$(port 1)" >"$tmp/prometheus.log" 2>&1 &
pids+=($!)

both_up() {
  local out
  out=$(curl -fsS --max-time 2 "$prom/api/v1/query" --data-urlencode 'query=sum(orvalink_up)' 2>/dev/null) &&
    grep -q '"value":\[[0-9.]*,"2"\]' <<<"$out"
}
within 40 both_up || fail "Prometheus did not see both elements up"
firing_for() {
  curl -fsS --max-time 2 "$prom/api/v1/alerts" >"$tmp/alerts.json" 2>/dev/null &&
    python3 - "$tmp/alerts.json" "$1" <<'PY'
import json, sys
alerts = json.load(open(sys.argv[1]))["data"]["alerts"]
sys.exit(0 if any(a["labels"].get("alertname") == "OrvalinkElementDown"
                  and a["labels"].get("name") == sys.argv[2]
                  and a["state"] == "firing" for a in alerts) else 1)
PY
}
firing_for "STUDIO A" && fail "OrvalinkElementDown fires for STUDIO A, which answers"
firing_for "STUDIO B" && fail "OrvalinkElementDown fires for STUDIO B before it fell silent"

kill "$sim_b"
wait "$sim_b" 2>/dev/null || true
silenced=$SECONDS
within 60 firing_for "STUDIO B" || fail "OrvalinkElementDown did not fire for STUDIO B within 60 s"
echo "OrvalinkElementDown fired for STUDIO B $((SECONDS - silenced)) s after it fell silent"
firing_for "STUDIO A" && fail "OrvalinkElementDown fires for STUDIO A, which still answers"

kill -TERM $monitor
code=0
wait $monitor || code=$?
((code == 0)) || fail "the monitor ended with $code on SIGTERM"
echo "PASS"
