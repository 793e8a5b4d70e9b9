#!/usr/bin/env bash
# Starts the desktop program. Later this also starts a simulated network.
set -euo pipefail
build=${1:-build}
exec "$build/bin/orvalink-nms"
