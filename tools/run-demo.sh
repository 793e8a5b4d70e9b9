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
  cp "$here/demo-nms.ini" "$demo_db"
  echo "make run: demo element database created at $demo_db"
fi

# The simulated network (orvalink-sim, one agent per demo element on
# 127.0.0.x) starts here, before the program, and is stopped when it ends.

exec "$nms" --db "$demo_db" "$@"
