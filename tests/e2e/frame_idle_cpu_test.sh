#!/usr/bin/env bash
# CPU used by the whole process (display loop, timer thread, program thread) while the
# program waits at a paused statement check for 5 seconds, as a percentage of one core.
source "$(dirname "$0")/lib.sh"
start_xvfb

program="$BUILD_DIR/tests/program_frame_idle"
[ -x "$program" ] || fail "missing $program"
limit_percent=${FRAME_IDLE_CPU_LIMIT:-5}

"$program" 2>"$E2E_TMP/stderr" &
pid=$!
E2E_PIDS+=("$pid")
wid=$(wait_window Untitled 30) || fail "no window captioned Untitled"
sleep 1

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)
start_ticks=$(cpu_ticks "$pid")
start_ns=$(date +%s%N)
sleep 5
end_ticks=$(cpu_ticks "$pid")
end_ns=$(date +%s%N)

percent=$(awk -v t=$((end_ticks - start_ticks)) -v hz="$hz" -v ns=$((end_ns - start_ns)) \
  'BEGIN {printf "%.2f", 100 * (t / hz) / (ns / 1e9)}')
echo "idle CPU: $percent % of one core over $(awk -v ns=$((end_ns - start_ns)) 'BEGIN {printf "%.1f", ns / 1e9}') s ($((end_ticks - start_ticks)) ticks at $hz Hz)"

# The X server now and then drops a fresh connection; the close request gets a few tries.
for attempt in 1 2 3 4 5; do close_window "$wid" && break; sleep 0.2; done
# wait_exit runs in this shell (not a $(...) subshell) so that it can reap the child.
wait_exit "$pid" 30 >"$E2E_TMP/rc"
rc=$(cat "$E2E_TMP/rc")
[ "$rc" = 0 ] || fail "exit status $rc after the close request"
awk -v p="$percent" -v l="$limit_percent" 'BEGIN {exit !(p <= l)}' || fail "idle CPU $percent % is above $limit_percent %"
echo "PASS frame_idle_cpu"
