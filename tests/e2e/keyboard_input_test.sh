#!/usr/bin/env bash
# INPUT in the real window: typed keys echo, rejected keys leave no trace, Backspace and
# Tab edit the line, Enter hands the values to the program (printed back), Caps Lock shows
# in the flag byte at 0x417 and in typed letters, and closing the window while INPUT
# waits ends the process with status 0. Also reports the key-to-echo latency and the CPU
# used while INPUT waits.
source "$(dirname "$0")/lib.sh"
unset SDL_VIDEODRIVER
# Software presentation: no GL driver threads in the process (sanitizer builds stay quiet).
export SDL_RENDER_DRIVER=software SDL_FRAMEBUFFER_ACCELERATION=0
start_xvfb

program="$BUILD_DIR/tests/program_keyboard_input"
[ -x "$program" ] || fail "missing $program"

"$program" 2>"$E2E_TMP/stderr" &
pid=$!
E2E_PIDS+=("$pid")
wid=$(wait_window Untitled 30) || fail "no window captioned Untitled"
sleep 0.3

screen="$E2E_TMP/screen.txt"

# Row n (1-based) of the decoded text, trailing spaces removed.
row() { sed -n "${1}p" "$screen" | sed 's/ *$//'; }

# Waits until row n reads exactly the text (the display shows a frame every ~32 ms).
expect_row() {  # row, text, what
  local i
  for i in $(seq 1 40); do
    decode_screen "$wid" "$screen" --text
    [ "$(row "$1")" = "$2" ] && return 0
    sleep 0.1
  done
  fail "$3: row $1 is '$(row "$1")', expected '$2'"
}

type_keys() { xdotool type --window "$wid" --delay 30 -- "$1"; }
press() { xdotool key --window "$wid" --delay 30 "$@"; }

# A string: Backspace takes back two characters, Tab pads to the next multiple of 8.
type_keys "Jxo"
expect_row 1 "Name? Jxo" "echo"
press BackSpace BackSpace
expect_row 1 "Name? J" "Backspace"
type_keys "oe"
press Tab
type_keys "!"
expect_row 1 "Name? Joe     !" "Tab"
press Return
expect_row 2 "Name=[Joe     !]" "string value"

# A 16-bit integer: letters, the point and a digit past 32767 are rejected without a trace.
type_keys "12a3.45"
expect_row 3 "Number? 12345" "rejected keys"
type_keys "6x"
press Left F1 Up
expect_row 3 "Number? 12345" "digit past the limit, arrows and F1"
press Return
expect_row 4 "Number=12345" "integer value"

# Two targets split at the comma.
type_keys "-7,hi"
press Return
expect_row 6 "Pair=-7|hi|" "two fields"

# Single precision: the D exponent is rejected, the digit after it kept.
type_keys "2.5D1"
expect_row 7 "Single? 2.51" "D exponent rejected"
press Return
expect_row 8 "Single=2.51" "single value"

# Caps Lock through the server (XTEST, pointer over the window so it has the keyboard):
# the lock shows in the flag byte and turns typed letters into capitals.
xdotool mousemove --window "$wid" 100 100
xdotool key Caps_Lock
sleep 0.3
xdotool type --delay 30 "ab"
expect_row 9 "Letters? AB" "Caps Lock letters"
xdotool key Return
expect_row 10 "Flags=64 Letters=AB" "flag byte 0x417 with Caps Lock on"
if [ -n "${E2E_KEEP_SHOTS:-}" ]; then screenshot "$wid" "$E2E_KEEP_SHOTS/keyboard_input.png"; fi
xdotool key Caps_Lock
sleep 0.2

# Key-to-echo latency: time from the key to the first screenshot whose next cell shows
# glyph pixels (the cursor lies below the 12 rows looked at).
cell_lit() {  # column (0-based), row (0-based)
  local mean
  mean=$(xwd -silent -id "$wid" | convert xwd:- -crop "8x12+$(($1 * 8))+$(($2 * 16))" +repage -format '%[fx:mean]' info:)
  [ "$mean" != "0" ]
}
latencies=()
for i in $(seq 0 19); do
  column=$((6 + i))
  cell_lit "$column" 10 && fail "cell $column of row 11 lit before typing"
  start=$(date +%s%N)
  press a
  until cell_lit "$column" 10; do
    [ $(( ($(date +%s%N) - start) / 1000000 )) -lt 3000 ] || fail "key $i never echoed"
  done
  latencies+=($(( ($(date +%s%N) - start) / 1000000 )))
done
median=$(printf '%s\n' "${latencies[@]}" | sort -n | sed -n '10p')
# One screenshot's cost, to read the latency against.
start=$(date +%s%N); cell_lit 0 24 || true; shot_ms=$(( ($(date +%s%N) - start) / 1000000 ))
echo "key-to-echo latency: median ${median} ms over 20 keys (one screenshot costs ${shot_ms} ms); all: ${latencies[*]}"
expect_row 11 "Wait? aaaaaaaaaaaaaaaaaaaa" "twenty echoed keys"

# CPU while INPUT waits for 5 s.
ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
before=$(ticks)
sleep 5
after=$(ticks)
cpu_percent=$(awk -v d=$((after - before)) -v hz="$hz" 'BEGIN {printf "%.2f", d * 100 / (hz * 5)}')
echo "CPU while INPUT waits: ${cpu_percent}% of a core over 5 s ($((after - before)) ticks)"
# A poll that spins would take a whole core; the loop and the frames stay far below.
awk -v p="$cpu_percent" 'BEGIN {exit !(p < 15)}' || fail "INPUT waiting used ${cpu_percent}% of a core"

# Closing the window while INPUT waits ends the process with status 0.
close_window "$wid"
# wait_exit runs in this shell (not a $(...) subshell) so that it can reap the child.
wait_exit "$pid" 30 >"$E2E_TMP/rc"
rc=$(cat "$E2E_TMP/rc")
[ "$rc" = 0 ] || { cat "$E2E_TMP/stderr" >&2; fail "exit status $rc after closing during INPUT"; }
echo "PASS keyboard_input"
