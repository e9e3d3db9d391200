#!/usr/bin/env bash
# Starts Ostrabel.exe under Wine on $DISPLAY, waits for its window and saves a picture of the
# screen. Usage: ui/screenshot.sh <Ostrabel.exe> <output.png>
# Expects WINEPREFIX (and the rest of the Wine environment) to be set by the caller.
set -euo pipefail
exe=$1 out=$2
wine=${WINE:-/usr/lib/wine/wine64}
( cd "$(dirname "$exe")" && exec "$wine" "./$(basename "$exe")" ) &
pid=$!
for _ in $(seq 1 100); do
  xdotool search --name "Ostrabel v1.0.3" >/dev/null 2>&1 && break
  sleep 0.2
done
sleep 1.5  # let the first paint finish
if command -v xwd >/dev/null; then
  xwd -root -silent | convert xwd:- "$out"
else
  import -window root "$out"
fi
window=$(xdotool search --name "Ostrabel v1.0.3" | head -1 || true)
[ -n "$window" ] && xdotool windowclose "$window" 2>/dev/null || true
sleep 0.5
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
echo "$out"
