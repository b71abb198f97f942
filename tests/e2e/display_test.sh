#!/usr/bin/env bash
# Cells written straight into the display page reach the window pixel for pixel: every
# character of the code page, every foreground on every background, read back from a
# screenshot with the screen decoder; then the Alt+Enter full-screen cycle.
source "$(dirname "$0")/lib.sh"
start_xvfb

program="$BUILD_DIR/tests/program_display_cells"
[ -x "$program" ] || fail "missing $program"
expected="$SOURCE_DIR/tests/e2e/expected/display_cells.txt"

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

# The decoder's other forms: text rows only, and refusals of what it cannot read.
decoder="$BUILD_DIR/tools/screendecode/screendecode"
screenshot "$wid" "$E2E_TMP/window.png"
convert "$E2E_TMP/window.png" "$E2E_TMP/window.ppm"
"$decoder" "$E2E_TMP/window.ppm" --text >"$E2E_TMP/text.txt"
head -n 25 "$expected" | cmp -s - "$E2E_TMP/text.txt" || fail "--text differs from the text rows"
rc=0; "$decoder" "$E2E_TMP/window.png" >/dev/null 2>&1 || rc=$?
[ "$rc" = 1 ] || fail "a PNG given to the decoder gave status $rc, expected 1"
rc=0; "$decoder" "$E2E_TMP/window.ppm" --rows 26 >/dev/null 2>&1 || rc=$?
[ "$rc" = 1 ] || fail "26 rows of 16 pixels in a 400-pixel picture gave status $rc, expected 1"
rc=0; "$decoder" "$E2E_TMP/window.ppm" --rows >/dev/null 2>&1 || rc=$?
[ "$rc" = 2 ] || fail "a missing option value gave status $rc, expected 2"

# Alt+Enter cycles window -> best-fit full screen -> best 4:3 -> window. Under this Xvfb the
# best fit for 640 x 400 is 640 x 480, which is also the best 4:3 size, so the second
# press returns to the window. In full screen the picture is centred: offset (0, 40).
window_size() {
  local w
  w=$(xdotool search --onlyvisible --name '^Untitled$' 2>/dev/null | head -n1 || true)
  [ -n "$w" ] && xwininfo -id "$w" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}'
}
wait_size() {  # wanted size
  local i
  for i in $(seq 1 50); do
    [ "$(window_size)" = "$1" ] && return 0
    sleep 0.1
  done
  fail "window is $(window_size) where $1 was expected"
}
press=0
for wanted in 640x480 640x400 640x480; do
  press=$((press + 1))
  xdotool key --window "$wid" alt+Return
  wait_size "$wanted"
  echo "Alt+Enter $press: $wanted"
done
sleep 0.3
wid=$(wait_window Untitled 10) || fail "no window after the full-screen switch"
xwd -silent -id "$wid" | convert xwd:- -crop 640x400+0+40 +repage "$E2E_TMP/fullscreen.ppm"
"$decoder" "$E2E_TMP/fullscreen.ppm" >"$E2E_TMP/fullscreen.txt"
cmp -s "$E2E_TMP/fullscreen.txt" "$expected" || {
  diff "$expected" "$E2E_TMP/fullscreen.txt" >&2 || true
  fail "the full-screen picture is not the page centred at (0, 40)"
}

close_window "$wid"
wait_exit "$pid" 30 >"$E2E_TMP/rc"
[ "$(cat "$E2E_TMP/rc")" = 0 ] || { cat "$E2E_TMP/stderr" >&2; fail "exit status $(cat "$E2E_TMP/rc") after the close request"; }
echo "display cells: 25 rows of text and colours decoded as expected (window and full screen)"
