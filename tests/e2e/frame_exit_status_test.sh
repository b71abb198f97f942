#!/usr/bin/env bash
# Process exit statuses of start-up: SDL that cannot start ends with 100 and its message;
# a program re-entered for an error handler it does not have ends with 99.
source "$(dirname "$0")/lib.sh"

run_status() {  # label, program, environment assignments...
  local label=$1 program=$2; shift 2
  env "$@" "$program" >"$E2E_TMP/$label.out" 2>"$E2E_TMP/$label.err" &
  local pid=$!
  E2E_PIDS+=("$pid")
  # wait_exit runs in this shell (not a $(...) subshell) so that it can reap the child.
  wait_exit "$pid" 30 >"$E2E_TMP/$label.rc"
  kill "$pid" 2>/dev/null || true
  cat "$E2E_TMP/$label.rc"
}

rc=$(run_status no_video "$BUILD_DIR/tests/program_frame_idle" SDL_VIDEODRIVER=no-such-driver)
[ "$rc" = 100 ] || fail "SDL without a video driver: status $rc, expected 100"
grep -q "^Unable to init SDL: ." "$E2E_TMP/no_video.err" || fail "no 'Unable to init SDL' message: $(cat "$E2E_TMP/no_video.err")"
echo "no video driver: status 100, $(head -n1 "$E2E_TMP/no_video.err")"

rc=$(run_status handler_jump "$BUILD_DIR/tests/program_frame_handler_jump" SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy)
[ "$rc" = 99 ] || fail "re-entry without an error handler: status $rc, expected 99"
echo "re-entry without an error handler: status 99"
echo "PASS frame_exit_status"
