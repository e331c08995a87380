#!/usr/bin/env bash
# Runs a built viewer on a virtual X server (Xvfb) and saves a PNG of its
# window once the picture is complete:
#   tools/capture.sh VIEWER PNG FIRST.bsv2 [SECOND.bsv2]
# It installs and builds nothing (tools/view.sh does that, then calls this).
#
# The viewer draws the first model at once but flushes every triangle, which
# under Xvfb takes seconds for a large model; the second model then appears
# one triangle every 3 seconds. So screenshots are taken every half second,
# and the picture counts as complete once something is drawn and, for longer
# than those 3 seconds, nothing has changed and the viewer has been idle (or
# nothing at all is drawn for 20 seconds: no model is in view). $CAPTURE_LIMIT_SECONDS (default
# 300) caps the wait; a picture taken at the cap is said to be unfinished.
set -euo pipefail
if [ $# -lt 3 ] || [ $# -gt 4 ]; then
  echo "usage: $0 VIEWER PNG FIRST.bsv2 [SECOND.bsv2]" >&2
  exit 2
fi
viewer=$1 shot=$2
shift 2
limit=${CAPTURE_LIMIT_SECONDS:-300}
settle_ms=3500

red_triangles=0
if [ $# -eq 2 ]; then
  red_triangles=$(awk 'NR == 3 { print $1; exit }' "$2" 2>/dev/null || echo 0)
  [[ "$red_triangles" =~ ^[0-9]+$ ]] || red_triangles=0
fi

work=$(mktemp -d)
xvfb= viewer_pid=
cleanup() {
  [ -n "$viewer_pid" ] && kill "$viewer_pid" 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
Xvfb -displayfd 4 -screen 0 800x700x24 -nolisten tcp -noreset 4>"$work/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(head -n 1 "$work/display")

"$viewer" "$@" &
viewer_pid=$!
window=
for _ in $(seq 100); do
  window=$(xwininfo -name "$viewer" 2>/dev/null | awk '/Window id:/ { print $4 }') && [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "The viewer's window did not appear." >&2; exit 1; }
echo "Viewer running on virtual display $DISPLAY; waiting for the picture to be complete." >&2

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
# The viewer's processor time so far, in clock ticks: it grows while the
# viewer draws, even when what it draws changes no pixel.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$viewer_pid/stat" 2>/dev/null || echo 0; }
start=$(now_ms) changed=$start last= drawn=0 finished=0 busy=$(cpu_ticks)
while :; do
  kill -0 "$viewer_pid" 2>/dev/null || { echo "The viewer ended early." >&2; exit 1; }
  xwd -silent -id "$window" > "$work/now.xwd"
  sum=$(md5sum < "$work/now.xwd")
  now=$(now_ms) ticks=$(cpu_ticks)
  # A tenth of a second of work counts as drawing.
  if [ $(( ticks - busy )) -gt 10 ]; then
    busy=$ticks changed=$now
  fi
  if [ "$sum" != "$last" ]; then
    last=$sum changed=$now
    cp "$work/now.xwd" "$work/shot.xwd"
    # Anything but black: the drawing has begun.
    [ "$drawn" -eq 1 ] || [ "$(xwdtopnm < "$work/now.xwd" 2>/dev/null | pamsumm -max -brief)" = 0 ] || drawn=1
  elif [ "$drawn" -eq 1 ] && [ $(( now - changed )) -gt "$settle_ms" ]; then
    finished=1
    break
  elif [ "$drawn" -eq 0 ] && [ $(( now - changed )) -gt 20000 ]; then
    finished=1  # still black after 20 s: nothing of the models is in view
    break
  fi
  [ $(( now - start )) -ge $(( limit * 1000 )) ] && break
  sleep 0.5
done
xwdtopnm < "$work/shot.xwd" 2>/dev/null | pnmtopng > "$shot"
if [ "$finished" -eq 1 ]; then
  echo "Screenshot: $shot"
else
  due=$(( limit / 3 + 1 ))
  [ "$due" -gt "$red_triangles" ] && due=$red_triangles
  echo "Screenshot: $shot (taken at the $limit s limit, before the picture was complete: the first" \
       "model may be unfinished, and of the red model's $red_triangles triangles, drawn one every 3 s," \
       "at most $due are due by then; set CAPTURE_LIMIT_SECONDS to wait longer)"
fi
