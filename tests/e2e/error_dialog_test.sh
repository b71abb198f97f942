#!/usr/bin/env bash
# The run-time error dialog in a real window: its caption and text, Yes continuing with
# the next statement, No ending the process with status 0, keys and mouse clicks, and a
# critical error that ends the process after OK.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

SHOTS="${E2E_SHOT_DIR:-$BUILD_DIR/e2e-shots}"
mkdir -p "$SHOTS"

# The full text the dialog shows, read from its window (newlines kept as "\n").
dialog_text() {
  xprop -id "$1" _BASIC_DIALOG_TEXT | sed -n 's/^_BASIC_DIALOG_TEXT([A-Z0-9_]*) = "\(.*\)"$/\1/p'
}

# Clicks the centre of a dialog button by its label.
click_button() {  # window id, label
  local places x y w h
  places=$(xprop -id "$1" _BASIC_DIALOG_BUTTONS | sed -n 's/^.* = "\(.*\)"$/\1/p')
  read -r x y w h < <(echo "$places" | tr ';' '\n' | awk -v want="$2" '$1 == want { print $2, $3, $4, $5 }')
  [ -n "${x:-}" ] || fail "no button $2 in '$places'"
  xdotool mousemove --window "$1" $((x + w / 2)) $((y + h / 2)) click 1
}

# Waits for a dialog, checks its text and returns its window id.
expect_dialog() {  # caption, text
  local wid text
  wid=$(wait_window "$1" 15) || fail "dialog '$1' did not appear"
  text=$(dialog_text "$wid")
  [ "$text" = "$2" ] || fail "dialog '$1' shows '$text', expected '$2'"
  echo "$wid"
}

# A screenshot of the dialog must show dark text on a light face (a freshly mapped
# window may not have been drawn yet, so look a few times).
check_picture() {  # window id, name
  local png="$SHOTS/$2.png" lo="" hi="" i
  for i in $(seq 1 20); do
    screenshot "$1" "$png"
    lo=$(convert "$png" -colorspace gray -format '%[fx:minima]' info:)
    hi=$(convert "$png" -colorspace gray -format '%[fx:maxima]' info:)
    if awk -v lo="$lo" -v hi="$hi" 'BEGIN { exit !(lo < 0.2 && hi > 0.8) }'; then return 0; fi
    sleep 0.1
  done
  fail "$2: blank dialog picture ($lo..$hi)"
}

expect_exit_zero() {  # pid, what
  local rc
  # wait_exit must run in this shell (a command substitution cannot reap our child).
  wait_exit "$1" 20 >"$E2E_TMP/status"
  rc=$(cat "$E2E_TMP/status")
  [ "$rc" = 0 ] || fail "$2: exit status $rc, expected 0"
}

still_running() {  # pid, what
  sleep 0.5
  kill -0 "$1" 2>/dev/null || fail "$2: the program ended"
}

# The program must open a real window on the private display.
unset SDL_VIDEODRIVER
# Software presentation: no GL driver threads in the process (sanitizer builds stay quiet).
export SDL_RENDER_DRIVER=software SDL_FRAMEBUFFER_ACCELERATION=0
start_xvfb
E53="Line:120\\nFile not found\\nContinue?"
E54="Line:130\\nBad file mode\\nContinue?"

# 1. Keys: Y continues with the next statement (its own error appears), N ends with 0.
echo "-- scenario 1" >&2
"$BUILD_DIR/tests/program_error53" &
pid=$!; E2E_PIDS+=("$pid")
wid=$(expect_dialog "Unhandled Error #53" "$E53")
check_picture "$wid" error53_dialog
xdotool key --window "$wid" y
wid=$(expect_dialog "Unhandled Error #54" "$E54")
check_picture "$wid" error54_dialog
xdotool key --window "$wid" n
expect_exit_zero "$pid" "N in the dialog"

# 2. Mouse: clicking Yes continues, clicking No ends with 0.
echo "-- scenario 2" >&2
"$BUILD_DIR/tests/program_error53" &
pid=$!; E2E_PIDS+=("$pid")
wid=$(expect_dialog "Unhandled Error #53" "$E53")
click_button "$wid" Yes
wid=$(expect_dialog "Unhandled Error #54" "$E54")
click_button "$wid" No
expect_exit_zero "$pid" "clicking No"

# 3. A key released without being pressed in the box (Enter still held from the
# program's window) answers nothing; Enter answers the default (Yes), Escape No.
echo "-- scenario 3" >&2
"$BUILD_DIR/tests/program_error53" &
pid=$!; E2E_PIDS+=("$pid")
wid=$(expect_dialog "Unhandled Error #53" "$E53")
xdotool keyup --window "$wid" Return
sleep 0.3
[ "$(xdotool search --onlyvisible --name '^Unhandled Error #53$' | head -n1)" = "$wid" ] || fail "a stray key release answered the box"
xdotool key --window "$wid" Return
wid=$(expect_dialog "Unhandled Error #54" "$E54")
xdotool key --window "$wid" Escape
expect_exit_zero "$pid" "Escape in the dialog"

# 3b. Tab moves the default to No; the window's close request also answers No.
echo "-- scenario 3b" >&2
"$BUILD_DIR/tests/program_error53" &
pid=$!; E2E_PIDS+=("$pid")
wid=$(expect_dialog "Unhandled Error #53" "$E53")
xdotool key --window "$wid" Tab Tab Return   # No, then back to Yes
wid=$(expect_dialog "Unhandled Error #54" "$E54")
close_window "$wid"
expect_exit_zero "$pid" "closing the dialog"

"$BUILD_DIR/tests/program_error53" &
pid=$!; E2E_PIDS+=("$pid")
wid=$(expect_dialog "Unhandled Error #53" "$E53")
xdotool key --window "$wid" Tab Return
expect_exit_zero "$pid" "Tab then Enter (No)"

# 4. Yes twice: the program runs on to END and waits there; closing the window ends it.
echo "-- scenario 4" >&2
"$BUILD_DIR/tests/program_error53" &
pid=$!; E2E_PIDS+=("$pid")
wid=$(expect_dialog "Unhandled Error #53" "$E53")
xdotool key --window "$wid" y
wid=$(expect_dialog "Unhandled Error #54" "$E54")
xdotool key --window "$wid" Y
still_running "$pid" "Yes to both errors"
main=$(wait_window "Untitled" 10) || fail "program window missing after the dialogs"
# The statement after the failing ones ran, and END waits on the bottom row.
for i in $(seq 1 30); do
  decode_screen "$main" "$E2E_TMP/screen.txt" --text
  grep -q "Press any key to continue" "$E2E_TMP/screen.txt" && break
  sleep 0.2
done
grep -q "^after the errors" "$E2E_TMP/screen.txt" || fail "no output after the errors: $(cat "$E2E_TMP/screen.txt")"
grep -q "Press any key to continue" "$E2E_TMP/screen.txt" || fail "END not reached"
close_window "$main"
expect_exit_zero "$pid" "window closed at END"

# 5. A critical error: its box, then status 0 after OK.
echo "-- scenario 5" >&2
"$BUILD_DIR/tests/program_critical516" &
pid=$!; E2E_PIDS+=("$pid")
wid=$(expect_dialog "Critical Error #16" "Out of memory")
check_picture "$wid" critical516_dialog
still_running "$pid" "critical error box open"
xdotool key --window "$wid" Return
expect_exit_zero "$pid" "OK in the critical box"

echo "PASS"
