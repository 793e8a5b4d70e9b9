#!/usr/bin/env bash
# The shipped alert rules: `promtool check rules` takes them, `promtool test
# rules` passes, and the tests would notice a broken rule: each alert with
# its `for:` taken out (firing at once) or its threshold turned around must
# make `promtool test rules` fail. Exit 77 (skipped) without promtool.
set -euo pipefail
src=${1:?source folder}/packaging/prometheus
command -v promtool >/dev/null || {
  echo "SKIP: promtool is not installed (Debian package prometheus; tools/install-deps.sh)"
  exit 77
}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

promtool check rules "$src/orvalink-rules.yml"
promtool test rules "$src/orvalink-rules.test.yml"

failures=0
mutant() {
  local what=$1 script=$2
  mkdir -p "$tmp/m"
  cp "$src/orvalink-rules.test.yml" "$tmp/m/"
  sed "$script" "$src/orvalink-rules.yml" >"$tmp/m/orvalink-rules.yml"
  if cmp -s "$src/orvalink-rules.yml" "$tmp/m/orvalink-rules.yml"; then
    echo "FAIL: the mutant '$what' changed nothing (the rules file changed?)" >&2
    failures=$((failures + 1))
  elif promtool test rules "$tmp/m/orvalink-rules.test.yml" >"$tmp/m/out" 2>&1; then
    echo "FAIL: the rules tests pass with $what" >&2
    failures=$((failures + 1))
  fi
}
mutant "OrvalinkElementDown without its 2m" '/alert: OrvalinkElementDown/,/for:/ s/for: 2m/for: 0m/'
mutant "OrvalinkElementDown on up == 1" 's/orvalink_up == 0/orvalink_up == 1/'
mutant "OrvalinkLinkDown on any alarm" 's/orvalink_alarm_active{alarm="linkDown"}/orvalink_alarm_active/'
mutant "OrvalinkReceiveErrorsRising without its 10m" '/alert: OrvalinkReceiveErrorsRising/,/for:/ s/for: 10m/for: 0m/'
mutant "OrvalinkReceiveErrorsRising on a counter that is not zero" 's/increase(orvalink_mac_rx_frame_errors_total\[5m\]) > 0/orvalink_mac_rx_frame_errors_total > 0/'
mutant "OrvalinkSfnLatencyHigh at the threshold" 's/orvalink_ptp_latency{role="decoder"} > 2000000/orvalink_ptp_latency{role="decoder"} >= 2000000/'
mutant "OrvalinkSfnLatencyHigh without its 5m" '/alert: OrvalinkSfnLatencyHigh/,/for:/ s/for: 5m/for: 0m/'
mutant "OrvalinkConfigDrift without its 15m" '/alert: OrvalinkConfigDrift/,/for:/ s/for: 15m/for: 0m/'
mutant "OrvalinkConfigDrift on a matching element" 's/orvalink_config_drift == 1/orvalink_config_drift == 0/'
mutant "OrvalinkDatabaseUnreadable without its 5m" '/alert: OrvalinkDatabaseUnreadable/,/for:/ s/for: 5m/for: 0m/'
mutant "OrvalinkDatabaseUnreadable on a readable database" 's/orvalink_database_ok == 0/orvalink_database_ok == 1/'
((failures == 0)) || exit 1
echo "PASS: rules checked, tested, and every mutant caught"
