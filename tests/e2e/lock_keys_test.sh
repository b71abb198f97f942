#!/usr/bin/env bash
# The lock-key and modifier states the runtime reads from the desktop follow the keyboard.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# Waits until the program's top row reads exactly the expected text.
expect_row() {  # window id, text
  local i row=""
  for i in $(seq 1 40); do
    decode_screen "$1" "$E2E_TMP/screen.txt" --text
    row=$(head -n1 "$E2E_TMP/screen.txt" | sed 's/ *$//')
    [ "$row" = "$2" ] && return 0
    sleep 0.1
  done
  fail "top row reads '$row', expected '$2'"
}

unset SDL_VIDEODRIVER
# Software presentation: no GL driver threads in the process (sanitizer builds stay quiet).
export SDL_RENDER_DRIVER=software SDL_FRAMEBUFFER_ACCELERATION=0
start_xvfb
"$BUILD_DIR/tests/program_lock_keys" &
pid=$!; E2E_PIDS+=("$pid")
wid=$(wait_window "Untitled" 15) || fail "program window did not appear"

expect_row "$wid" "caps=0 num=0 scroll=0 shift=0"
xdotool key Caps_Lock
expect_row "$wid" "caps=1 num=0 scroll=0 shift=0"
xdotool key Num_Lock
expect_row "$wid" "caps=1 num=1 scroll=0 shift=0"
xdotool keydown Shift_L
expect_row "$wid" "caps=1 num=1 scroll=0 shift=1"
xdotool keyup Shift_L
xdotool key Caps_Lock
expect_row "$wid" "caps=0 num=1 scroll=0 shift=0"

close_window "$wid"
wait_exit "$pid" 20 >"$E2E_TMP/status"
[ "$(cat "$E2E_TMP/status")" = 0 ] || fail "exit status $(cat "$E2E_TMP/status") after closing the window"
echo "PASS"
