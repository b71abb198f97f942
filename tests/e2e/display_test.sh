#!/usr/bin/env bash
# Cells written straight into the display page reach the window pixel for pixel: every
# character of the code page, every foreground on every background, read back from a
# screenshot with the screen decoder.
source "$(dirname "$0")/lib.sh"
start_xvfb

program="$BUILD_DIR/tests/program_display_cells"
[ -x "$program" ] || fail "missing $program"
expected="$SOURCE_DIR/tests/e2e/display_cells.expected"

"$program" 2>"$E2E_TMP/stderr" &
pid=$!
E2E_PIDS+=("$pid")
wid=$(wait_window Untitled 30) || fail "no window captioned Untitled"

# The cells are written before the first frame; allow a few frames, then compare.
ok=0
for attempt in $(seq 1 20); do
  sleep 0.2
  decode_screen "$wid" "$E2E_TMP/decoded.txt"
  if cmp -s "$E2E_TMP/decoded.txt" "$expected"; then ok=1; break; fi
done
if [ -n "${E2E_KEEP_SHOTS:-}" ]; then screenshot "$wid" "$E2E_KEEP_SHOTS/display_cells.png"; fi
if [ "$ok" != 1 ]; then
  diff "$expected" "$E2E_TMP/decoded.txt" >&2 || true
  fail "decoded window differs from the expected cells"
fi

close_window "$wid"
wait_exit "$pid" 30 >"$E2E_TMP/rc"
[ "$(cat "$E2E_TMP/rc")" = 0 ] || { cat "$E2E_TMP/stderr" >&2; fail "exit status $(cat "$E2E_TMP/rc") after the close request"; }
echo "display cells: 25 rows of text and colours decoded as expected after $attempt look(s)"
