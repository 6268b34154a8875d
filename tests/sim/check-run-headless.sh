#!/usr/bin/env bash
# make run on a machine without a display: the tables are calculated, listed
# and uploaded into the simulator, whose summary must show a clean upload.
set -euo pipefail
build=${1:?usage: check-run-headless.sh BUILD_DIR}
here=$(cd "$(dirname "$0")/../.." && pwd)
# Pacing is checked at the writer by the real-pace test; a simulator woken a
# few milliseconds late on a busy machine is not a fault of the tool.
out=$(env -u DISPLAY -u WAYLAND_DISPLAY SIM_OPTIONS="--min-gap 140" \
  "$here/scripts/run-with-simulator" "$build" 2>&1)
echo "$out" | tail -n 30
grep -q 'no display' <<<"$out"
grep -Eq '^  commands +109 ' <<<"$out"
grep -Eq '^  anomalies +0$' <<<"$out"
grep -q '#:&RA01=57A7#' "$build/src/app/Speed_Data.txt"
