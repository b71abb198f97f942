#!/usr/bin/env bash
# Music and a tone through the real mixer, recorded by SDL's disk audio driver: PLAY "gfedc"
# gives five tones at the notes' frequencies after the start-up silence and the program
# waits until they have played; SOUND 440, 18.2 gives one second of 440 Hz. Then the same
# program on a machine without a working audio device runs to its end silently.
source "$(dirname "$0")/lib.sh"

program="$BUILD_DIR/tests/program_sound_play"
check="$SOURCE_DIR/tools/soundcheck/soundcheck.py"
[ -x "$program" ] || fail "missing $program"

run_program() {  # audio driver, report file, [disk file]
  SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER="$1" SDL_DISKAUDIOFILE="${3:-/dev/null}" SOUND_PLAY_REPORT="$2" \
    "$program" >"$E2E_TMP/stdout" 2>"$E2E_TMP/stderr" &
  local pid=$!
  E2E_PIDS+=("$pid")
  wait_exit "$pid" 30 >"$E2E_TMP/rc"
  [ "$(cat "$E2E_TMP/rc")" = 0 ] || fail "exit status $(cat "$E2E_TMP/rc") with audio driver $1"
}

mark() { awk -v m="$2" '$1 == m {print $2}' "$1"; }

# --- with a device ---------------------------------------------------------------------
report="$E2E_TMP/report.txt"
raw="$E2E_TMP/audio.raw"
run_program disk "$report" "$raw"
cat "$report"
for m in start after_play after_sound after_wait end; do
  [ -n "$(mark "$report" $m)" ] || fail "the program did not reach $m"
done
grep -q "error=[1-9]" "$report" && fail "a statement raised an error"

# The disk driver writes at the rate the device really runs at, which the compat layer may
# raise above the mixer's 22050 Hz; take the standard rate nearest to bytes per second.
bytes=$(stat -c %s "$raw")
elapsed_ms=$(( $(mark "$report" end) - $(mark "$report" start) ))
rate=$(awk -v b="$bytes" -v ms="$elapsed_ms" 'BEGIN {
  r = b / 4 / (ms / 1000); best = 22050
  n = split("22050 44100 48000", c, " ")
  for (i = 1; i <= n; i++) if ((r - c[i]) ^ 2 < (r - best) ^ 2) best = c[i]
  print best }')
python3 "$check" "$raw" "$rate" >"$E2E_TMP/tones.txt"
echo "recorded at $rate Hz:"
cat "$E2E_TMP/tones.txt"

awk -v after_play=$(( $(mark "$report" after_play) - $(mark "$report" start) )) \
    -v after_sound=$(( $(mark "$report" after_sound) - $(mark "$report" after_play) )) \
    -v after_wait=$(( $(mark "$report" after_wait) - $(mark "$report" after_sound) )) '
  function bad(msg) { print "FAIL: " msg > "/dev/stderr"; failed = 1 }
  function near(x, want, tolerance) { return x >= want * (1 - tolerance) && x <= want * (1 + tolerance) }
  BEGIN { split("1568.0 1396.9 1318.5 1174.7 1046.5 440.0", want, " ") }
  $1 == "tone" {
    n++; start[n] = $3; length_s[n] = $5; hz[n] = $7; peak[n] = $9; stereo[n] = $11
  }
  END {
    if (n != 6) { bad("expected 6 tones, found " n); exit 1 }
    if (start[1] < 0.33 || start[1] > 0.55) bad("first tone at " start[1] " s, not after the 0.37 s start-up silence")
    for (i = 1; i <= 6; i++) {
      if (!near(hz[i], want[i], 0.01)) bad("tone " i " measured " hz[i] " Hz, expected " want[i])
      if (stereo[i] != 1) bad("tone " i " differs between left and right")
    }
    for (i = 1; i <= 5; i++) {
      if (length_s[i] < 0.42 || length_s[i] > 0.45) bad("note " i " lasts " length_s[i] " s")
      if (peak[i] > 16383 || peak[i] < 16000) bad("note " i " peak " peak[i] " is not half amplitude")
      if (i > 1 && (start[i] - start[i - 1] < 0.49 || start[i] - start[i - 1] > 0.51)) bad("note " i " does not follow 0.5 s after the one before")
    }
    if (length_s[6] < 0.95 || length_s[6] > 1.01) bad("SOUND 440, 18.2 lasts " length_s[6] " s")
    # The program reaches the statement after PLAY only once the music has played.
    music_end_ms = (start[5] + 0.5) * 1000
    if (after_play < music_end_ms - 60) bad("program went on after " after_play " ms, before the music ended at " music_end_ms " ms")
    if (after_play > music_end_ms + 800) bad("program went on only after " after_play " ms")
    # A foreground SOUND lets the program on as soon as its tone starts ...
    if (after_sound > 500) bad("SOUND held the program " after_sound " ms")
    # ... and the empty PLAY behind it waits for the whole second.
    if (after_wait < 900) bad("the wait behind SOUND ended after " after_wait " ms")
    printf "program waited %d ms for the music (ends at %d ms), %d ms at SOUND, %d ms behind it\n", after_play, music_end_ms, after_sound, after_wait
    exit failed
  }' "$E2E_TMP/tones.txt" || fail "recorded audio or timing is wrong"

# --- without a working device: silent, no exit, no dialog -------------------------------
silent="$E2E_TMP/silent.txt"
run_program no-such-driver "$silent"
cat "$silent"
for m in start after_play after_sound after_wait end; do
  [ -n "$(mark "$silent" $m)" ] || fail "silent run did not reach $m"
done
grep -q "error=[1-9]" "$silent" && fail "silent run raised an error"
silent_ms=$(( $(mark "$silent" after_wait) - $(mark "$silent" start) ))
[ "$silent_ms" -lt 1500 ] || fail "silent run was held $silent_ms ms"
echo "PASS sound_play"
