#!/usr/bin/env bash
# make run on a machine without a display: the tables are calculated, listed
# and uploaded into the simulator, whose summary must show a clean upload.
# This is the one upload of the test suite at the controller's real pace, so
# the pace is checked here at both ends: at the writer from the figures the
# program reports, at the reader from the simulator's summary.
set -euo pipefail
build=${1:?usage: check-run-headless.sh BUILD_DIR}
here=$(cd "$(dirname "$0")/../.." && pwd)
# A simulator woken a few milliseconds late on a busy machine is not a fault
# of the tool: the reader allows for it.
out=$(env -u DISPLAY -u WAYLAND_DISPLAY SIM_OPTIONS="--min-gap 140" \
  "$here/scripts/run-with-simulator" "$build" 2>&1)
echo "$out" | tail -n 32
grep -q 'no display' <<<"$out"
grep -Eq '^  コマンド +109 ' <<<"$out"
grep -Eq '^  異常 +0$' <<<"$out"
grep -q '#:&RA01=57A7#' "$build/src/app/Speed_Data.txt"

# "109 個のコマンドを送信しました: 16.309 秒 (コマンドの間隔: 最小 150.9 ms, 中央値 151.0 ms, …)"
pace=$(grep -Eo '109 個のコマンドを送信しました: [0-9.]+ 秒 \(コマンドの間隔: 最小 [0-9.]+ ms, 中央値 [0-9.]+ ms' <<<"$out")
read -r seconds shortest median < <(sed -E 's/.*: ([0-9.]+) 秒 .*最小 ([0-9.]+) ms, 中央値 ([0-9.]+) ms/\1 \2 \3/' <<<"$pace")
# No two writes under 150 ms apart; the upload not much past 108 pauses of
# 151 counter steps each.
awk -v s="$seconds" -v min="$shortest" -v med="$median" 'BEGIN {
  if (min < 150.0) { print "check-run-headless: two writes " min " ms apart"; exit 1 }
  if (med >= 152.0) { print "check-run-headless: median gap " med " ms"; exit 1 }
  if (s >= 16.5) { print "check-run-headless: the upload took " s " s"; exit 1 }
}'
# At the reader: "間隔        最小 147.2 ms, 中央値 151.0 ms, 最大 156.1 ms"
read -r reader_median < <(grep -Eo '^  間隔 +最小 [0-9.]+ ms, 中央値 [0-9.]+' <<<"$out" | grep -Eo '[0-9.]+$')
awk -v med="$reader_median" 'BEGIN {
  if (med < 150.0) { print "check-run-headless: most gaps under 150 ms at the reader"; exit 1 }
}'
