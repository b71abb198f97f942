#!/usr/bin/env bash
# The program's window: 640 x 400, captioned "Untitled"; a close request ends the process
# with status 0 after both runtime threads have finished. A machine whose audio device
# does not work still opens the window.
source "$(dirname "$0")/lib.sh"
start_xvfb

program="$BUILD_DIR/tests/program_frame_idle"
[ -x "$program" ] || fail "missing $program"

# The X server now and then drops a fresh connection; X tools get a few tries.
x_try() {
  local attempt
  for attempt in 1 2 3 4 5; do
    "$@" && return 0
    sleep 0.2
  done
  return 1
}

# Screenshot of the window decoded to text rows in $2, retried until the program's two
# rows are there (a loaded machine may show the window before the first statement ran).
decode_rows() {  # window id, label
  local wid=$1 label=$2 attempt
  for attempt in $(seq 1 20); do
    if x_try screenshot "$wid" "$E2E_TMP/$label.png" && convert "$E2E_TMP/$label.png" "$E2E_TMP/$label.ppm" &&
      "$BUILD_DIR/tools/screendecode/screendecode" "$E2E_TMP/$label.ppm" --text >"$E2E_TMP/$label.txt" &&
      sed -n 2p "$E2E_TMP/$label.txt" | grep -q "[^ ]"; then
      return 0
    fi
    sleep 0.25
  done
  return 1
}

run_and_close() {  # label, extra environment assignments...
  local label=$1; shift
  local report="$E2E_TMP/$label.report"
  # Two arguments, the second with two blanks inside: COMMAND$ keeps them, one blank between.
  env "$@" FRAME_IDLE_REPORT="$report" "$program" first "a  b" 2>"$E2E_TMP/$label.stderr" &
  local pid=$!
  E2E_PIDS+=("$pid")

  local wid
  if ! wid=$(wait_window Untitled 30); then
    cat "$E2E_TMP/$label.stderr" >&2
    local state="still running"
    if ! kill -0 "$pid" 2>/dev/null; then
      wait_exit "$pid" 1 >"$E2E_TMP/$label.rc"
      state="ended with status $(cat "$E2E_TMP/$label.rc")"
    fi
    fail "$label: no window captioned Untitled (the program is $state)"
  fi
  local size
  size=$(x_try xwininfo -id "$wid" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')
  [ "$size" = "640x400" ] || fail "$label: window is $size, expected 640x400"
  x_try xdotool getwindowgeometry "$wid" | grep -q "Geometry: 640x400" || fail "$label: xdotool geometry differs"
  x_try xprop -id "$wid" _NET_WM_ICON | grep -q "Icon (32 x 32)" || fail "$label: the window has no 32 x 32 icon"

  # The default text screen is up before the program's first statement prints on it.
  decode_rows "$wid" "$label" || fail "$label: the screen could not be read"
  if [ -n "${E2E_KEEP_SHOTS:-}" ]; then cp "$E2E_TMP/$label.png" "$E2E_KEEP_SHOTS/window_close_$label.png"; fi
  head -n1 "$E2E_TMP/$label.txt" | grep -q "^Waiting for the window to close\.  *$" \
    || fail "$label: first row reads '$(head -n1 "$E2E_TMP/$label.txt")'"
  sed -n 2p "$E2E_TMP/$label.txt" | grep -q "^first a  b  *$" \
    || fail "$label: COMMAND\$ row reads '$(sed -n 2p "$E2E_TMP/$label.txt")'"

  x_try close_window "$wid" || fail "$label: the close request could not be sent"
  # wait_exit runs in this shell (not a $(...) subshell) so that it can reap the child.
  local rc
  wait_exit "$pid" 30 >"$E2E_TMP/$label.rc"
  rc=$(cat "$E2E_TMP/$label.rc")
  [ "$rc" = 0 ] || { cat "$E2E_TMP/$label.stderr" >&2; fail "$label: exit status $rc after the close request"; }
  [ -s "$report" ] || fail "$label: the exit report was not written"
  grep -qx "finished_mask=3 program_joined=1 timer_joined=1 unwound=1" "$report" \
    || fail "$label: threads not finished before exit: $(cat "$report")"
  echo "$label: 640x400 \"Untitled\", closed with status 0; $(cat "$report")"
}

run_and_close default
run_and_close no_audio SDL_AUDIODRIVER=no-such-driver
echo "PASS window_close"
