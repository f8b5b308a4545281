#!/usr/bin/env bash
# Runs inside xvfb-run: starts the application (with FILE arguments when given, as "Open
# with" does; otherwise clicks Add and picks sample.pdf in the dialog), clicks Start and
# waits for the output. Positions are the toolbar buttons' centres in the window (the form
# fixes them).
# usage: drive-installed-app.sh APP OUTPUT [FILE...]
set -euo pipefail
app=$1 out=$2
shift 2
"$app" "$@" & pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
win=$(timeout 30 xdotool search --sync --name '^Tavrell PDF Plyjoin$' | head -n 1)
eval "$(xdotool getwindowgeometry --shell "$win")"
sleep 0.5
if [ $# -eq 0 ]; then
  xdotool mousemove $((X + 43)) $((Y + 45)) click 1            # Add
  dialog=$(timeout 30 xdotool search --sync --name 'Select one or more files to open' | head -n 1)
  xdotool windowfocus --sync "$dialog"
  sleep 0.5
  xdotool type --delay 20 'sample.pdf'
  xdotool key Return
  sleep 1
fi
xdotool mousemove $((X + 423)) $((Y + 45)) click 1           # Start
for _ in $(seq 1 120); do
  [ -f "$out" ] && exit 0
  sleep 0.25
done
echo "no output appeared at $out" >&2
exit 1
