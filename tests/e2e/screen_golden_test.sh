#!/usr/bin/env bash
# A program prints a known screen through PRINT, COLOR, LOCATE, CLS and VIEW PRINT: all
# 16 foregrounds and 8 backgrounds, a blinking cell, full-width lines with and without a
# line end, a window scrolled under a fixed row 25 and comma zones. The decoded window
# must equal the stored cells in both blink phases; then the half-height cursor that
# LOCATE asked for must show in the pixels of its cell.
source "$(dirname "$0")/lib.sh"
start_xvfb

program="$BUILD_DIR/tests/program_screen_golden"
[ -x "$program" ] || fail "missing $program"
expected_on="$SOURCE_DIR/tests/e2e/expected/screen_golden_blink_on.txt"
expected_off="$SOURCE_DIR/tests/e2e/expected/screen_golden_blink_off.txt"
shots="${E2E_KEEP_SHOTS:-}"

"$program" 2>"$E2E_TMP/stderr" &
pid=$!
E2E_PIDS+=("$pid")
wid=$(wait_window Untitled 30) || fail "no window captioned Untitled"

# The blink period is 16 frames (about half a second): decode every ~0.13 s until both
# phases have been seen, each matching its stored screen exactly.
seen_on=0 seen_off=0 last=""
for attempt in $(seq 1 80); do
  sleep 0.13
  decode_screen "$wid" "$E2E_TMP/decoded.txt"
  if cmp -s "$E2E_TMP/decoded.txt" "$expected_on"; then
    seen_on=1
    [ -n "$shots" ] && [ ! -e "$shots/screen_golden_on.png" ] && screenshot "$wid" "$shots/screen_golden_on.png"
  elif cmp -s "$E2E_TMP/decoded.txt" "$expected_off"; then
    seen_off=1
    [ -n "$shots" ] && [ ! -e "$shots/screen_golden_off.png" ] && screenshot "$wid" "$shots/screen_golden_off.png"
  else
    last="$E2E_TMP/mismatch.txt"
    cp "$E2E_TMP/decoded.txt" "$last"
  fi
  if [ "$seen_on" = 1 ] && [ "$seen_off" = 1 ]; then break; fi
done
if [ "$seen_on" != 1 ] || [ "$seen_off" != 1 ]; then
  if [ -n "$last" ]; then diff "$expected_on" "$last" >&2 || true; fi
  fail "decoded window: blink-on phase seen=$seen_on, blink-off phase seen=$seen_off"
fi

# The cursor cell: row 12, column 40 of 8 x 16 cells. Each pixel row of the cell becomes
# one letter: K black, G light grey (colour 7), ? anything else or a mixed row.
cell_rows() {  # screenshot file
  convert "$1" -crop 8x16+312+176 +repage -depth 8 txt:- | awk -F'[,: ]+' '
    NR > 1 {
      y = $2; colour = ($0 ~ /#000000/) ? "K" : ($0 ~ /#AAAAAA/) ? "G" : "?"
      if (!(y in row)) row[y] = colour; else if (row[y] != colour) row[y] = "?"
    }
    END { s = ""; for (y = 0; y < 16; y++) s = s row[y]; print s }'
}

xdotool key --window "$wid" space
cursor_on="KKKKKKKKGGGGGGGG"   # scan lines 3 to 7 of 8: the lower half of the cell
cursor_off="KKKKKKKKKKKKKKKK"
seen_on=0 seen_off=0 rows=""
for attempt in $(seq 1 60); do
  sleep 0.07
  screenshot "$wid" "$E2E_TMP/cursor.png"
  rows=$(cell_rows "$E2E_TMP/cursor.png")
  if [ "$rows" = "$cursor_on" ]; then
    seen_on=1
    [ -n "$shots" ] && cp "$E2E_TMP/cursor.png" "$shots/screen_golden_cursor.png"
  elif [ "$rows" = "$cursor_off" ]; then
    seen_off=1
  else
    fail "cursor cell rows $rows are neither $cursor_on nor $cursor_off"
  fi
  if [ "$seen_on" = 1 ] && [ "$seen_off" = 1 ]; then break; fi
done
[ "$seen_on" = 1 ] || fail "the cursor never showed on row 12, column 40"
[ "$seen_off" = 1 ] || fail "the cursor never blinked off"

close_window "$wid"
wait_exit "$pid" 30 >"$E2E_TMP/rc"
[ "$(cat "$E2E_TMP/rc")" = 0 ] || { cat "$E2E_TMP/stderr" >&2; fail "exit status $(cat "$E2E_TMP/rc") after the close request"; }
echo "screen golden: both blink phases decoded as stored; the half-height cursor blinks on its cell"
