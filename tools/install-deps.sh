#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and `make run` need.
# Quick when everything is already there: apt is asked only for what is missing.
set -euo pipefail

packages=(
  build-essential cmake ccache
  clang-format                       # make format, and the formatting check of make test
  qt6-base-dev qt6-base-dev-tools    # Qt 6 Core, Network, Widgets, Test
  xvfb xauth x11-utils imagemagick   # headless display for `make run` and screenshots
  xdotool                            # tools/screenshot.sh clicks an element in the tree
  openbox                            # a window manager for the screenshots (tools/screenshot.sh, tools/window-shots.sh)
  snmp                               # net-snmp's snmpget/snmpset: an independent peer for the simulator; snmptrap sends the traps of tst_traps
  snmptrapd                          # bench_traps measures net-snmp's trap daemon as its baseline
  smitools                           # smilint checks the MIB module
  desktop-file-utils                 # desktop-file-validate checks the desktop entry
  iproute2 libcap2-bin               # network namespaces in tests, setcap for the simulator
  clang libclang-rt-14-dev           # fuzz targets (libFuzzer with ASan/UBSan)
  libbenchmark-dev                   # benchmarks
  qt6-charts-dev libqt6opengl6-dev   # the SFN window's plot (Qt Charts needs the OpenGL module's CMake files)
  libmicrohttpd-dev pkg-config       # the HTTP server of orvalink-cli monitor, bounded against hostile clients
  prometheus                         # promtool checks the metrics and the alert rules; the monitoring fault test runs a real one
  curl python3                       # the monitoring fault test asks Prometheus's HTTP API
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo=""
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { echo "Need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  sudo="sudo"
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
