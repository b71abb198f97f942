# Shared helpers for the real-window tests: a private Xvfb, finding the window,
# typing keys, screenshots and the close request. Source it from a *_test.sh script.
set -euo pipefail
: "${BUILD_DIR:?BUILD_DIR must name the build folder}"
: "${SOURCE_DIR:=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"

E2E_TMP=$(mktemp -d /tmp/e2e.XXXXXX)
E2E_PIDS=()

e2e_cleanup() {
  local pid
  for pid in "${E2E_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$E2E_TMP"
}
trap e2e_cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# Starts Xvfb on a free display and exports DISPLAY.
start_xvfb() {
  local fd_file="$E2E_TMP/displayfd"
  exec {xfd}>"$fd_file"
  Xvfb -displayfd "$xfd" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  E2E_PIDS+=($!)
  local i
  for i in $(seq 1 100); do
    if [ -s "$fd_file" ]; then break; fi
    sleep 0.05
  done
  exec {xfd}>&-
  export DISPLAY=":$(head -n1 "$fd_file" | tr -d '[:space:]')"
  # Software rendering: no GL driver threads in the process (ThreadSanitizer reports
  # races inside them), and the picture is the same on every machine.
  export SDL_RENDER_DRIVER=software SDL_FRAMEBUFFER_ACCELERATION=0
  [ "$DISPLAY" != ":" ] || fail "Xvfb did not start"
}

# Prints the id of the first visible window whose name matches, waiting up to $2 seconds.
wait_window() {
  local name=$1 timeout=${2:-10} wid="" i
  for i in $(seq 1 $((timeout * 10))); do
    wid=$(xdotool search --onlyvisible --name "^${name}\$" 2>/dev/null | head -n1 || true)
    if [ -n "$wid" ]; then echo "$wid"; return 0; fi
    sleep 0.1
  done
  return 1
}

# Runs an X client again when it fails: a loaded X server now and then drops a new
# connection while it is being set up.
x_retry() {
  local attempt
  for attempt in 1 2 3 4 5; do
    if "$@"; then return 0; fi
    sleep 0.2
  done
  return 1
}

# Screenshot of one window as PNG.
screenshot() {  # window id, output file
  local wid=$1 out=$2
  x_retry bash -c 'xwd -silent -id "$1" | convert xwd:- "$2"' _ "$wid" "$out"
}

# Asks the window to close the way a window manager's close button does.
close_window() {
  x_retry "$BUILD_DIR/tools/xclose/xclose" "$1"
}

# Waits for a background process and prints its exit status (124 on timeout).
# Call it in the shell that started the process, redirected to a file: inside $(...)
# the subshell cannot reap the child. Example: wait_exit "$pid" 30 >"$E2E_TMP/rc"
wait_exit() {  # pid, timeout seconds
  local pid=$1 timeout=${2:-10} i
  for i in $(seq 1 $((timeout * 20))); do
    if ! kill -0 "$pid" 2>/dev/null; then
      local rc=0
      wait "$pid" || rc=$?
      echo "$rc"
      return 0
    fi
    sleep 0.05
  done
  echo 124
}

# Decodes the text cells of a window into OUT: text rows, "--", foreground digits, "--",
# background digits (see tools/screendecode). Extra arguments go to the decoder.
decode_screen() {  # window id, output file, [decoder options...]
  local wid=$1 out=$2; shift 2
  local shot="$E2E_TMP/decode_screen.$$.ppm"
  x_retry bash -c 'xwd -silent -id "$1" | convert xwd:- "$2"' _ "$wid" "$shot"
  "$BUILD_DIR/tools/screendecode/screendecode" "$shot" "$@" >"$out"
  rm -f "$shot"
}
