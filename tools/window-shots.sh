#!/usr/bin/env bash
# Pictures of the main window under a window manager, for reviewing how it
# resizes, filters and reports:
#
#   tools/window-shots.sh [BUILD_DIR] [OUT_DIR] [PREFIX]
#
# Writes OUT_DIR/PREFIX-smallest.png (the window shrunk as far as it goes),
# PREFIX-largest.png (maximised on a 1920x1080 screen), PREFIX-filter.png
# (1,000 elements, the filter holding "ELEMENT 12") and PREFIX-deleted.png
# (after deleting the first demo element through the tree's pop-up menu).
# NODE_Y is the height of the first tree node in the window (default 136).
# Runs on Xvfb with openbox; settings, lock and databases live in a temporary
# folder. Needs xvfb-run, openbox, xdotool and ImageMagick's import.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
outdir=${2:-$root/docs}
prefix=${3:-window}
mkdir -p "$outdir"
outdir=$(cd "$outdir" && pwd)
nms="$build/bin/orvalink-nms"
[[ -x "$nms" ]] || { echo "window-shots: $nms is missing; build first" >&2; exit 1; }
for tool in xvfb-run openbox xdotool import; do
  command -v "$tool" >/dev/null || { echo "window-shots: $tool is missing" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
awk 'BEGIN {
  for (i = 0; i < 1000; i++) {
    printf "[2E8BF201%04X]\r\nNAME=%-16s\r\nROLE=%d\r\nIP=127.1.%d.%d\r\nSNMPIP=127.1.%d.%d\r\n",
      i, "ELEMENT " i, (i % 2) + 1, int(i / 250), i % 250, int(i / 250), i % 250
  } }' > "$work/thousand.ini"

cat > "$work/shoot.sh" <<'SHOOT'
#!/usr/bin/env bash
set -uo pipefail
nms=$1 work=$2 demo=$3 outdir=$4 prefix=$5
openbox >/dev/null 2>&1 &
wm=$!
sleep 1

fresh() {  # fresh settings, then start on database $1
  rm -rf "$work/config"
  mkdir -p "$work/config/Quorvane"
  printf '[Orvalink%%20SNMP]\nEULA1=1\nNMS%%20IP%%20Address=127.0.0.1\n' \
    > "$work/config/Quorvane/Quorvane.conf"
  cp "$1" "$work/db.ini"
  HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" \
    "$nms" --db "$work/db.ini" &
  pid=$!
  win=""
  for _ in $(seq 1 100); do
    win=$(xdotool search --onlyvisible --name "Orvalink SNMP NMS" 2>/dev/null | head -n1 || true)
    [[ -n "$win" ]] && break
    sleep 0.1
  done
  [[ -n "$win" ]] || { echo "window-shots: the main window did not appear" >&2; exit 1; }
  sleep 0.5
}
stop() { kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; }
fullshot() { sleep 0.8; import -window root "$outdir/$prefix-$1.png"; }

# Smallest: ask for a tiny window; the window manager holds it at its minimum.
fresh "$demo"
xdotool windowmove "$win" 0 0 windowsize "$win" 100 100
xdotool mousemove --window "$win" 60 "${NODE_Y:-136}" click 1
fullshot smallest
stop

# Largest: maximised.
fresh "$demo"
xdotool windowmove "$win" 0 0 windowsize "$win" 1920 1050
xdotool mousemove --window "$win" 60 "${NODE_Y:-136}" click 1
fullshot largest
stop

# The filter on 1,000 elements.
fresh "$work/thousand.ini"
xdotool windowmove "$win" 0 0 windowsize "$win" 1100 700
xdotool key --window "$win" ctrl+f
sleep 0.3
xdotool type --window "$win" --delay 40 "ELEMENT 12"
fullshot filter
stop

# After a delete: select the first element, delete it through the pop-up menu.
fresh "$demo"
xdotool windowmove "$win" 0 0 windowsize "$win" 1100 700
sleep 0.5
xdotool mousemove --window "$win" 60 "${NODE_Y:-136}" click 1
sleep 0.3
xdotool mousemove --window "$win" 60 "${NODE_Y:-136}" click 3
sleep 0.5
xdotool key d
sleep 0.8
xdotool key y
fullshot deleted
stop
kill "$wm" 2>/dev/null
SHOOT
chmod +x "$work/shoot.sh"
xvfb-run -a -s "-screen 0 1920x1080x24" "$work/shoot.sh" "$nms" "$work" "$here/demo-nms.ini" \
  "$outdir" "$prefix"
echo "window-shots: $outdir/$prefix-{smallest,largest,filter,deleted}.png"
