// Test program: music and a tone through the real mixer, noting when each statement
// after them is reached. BASIC source:
//   10 PLAY "gfedc"
//   20 SOUND 440, 18.2
//   30 PLAY ""
// Each "reached" line goes to the file named by SOUND_PLAY_REPORT as a wall-clock time in
// milliseconds, so the test can compare the program's progress with the recorded audio.
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "errors/errors.h"
#include "frame/frame.h"
#include "frame/program_protocol.h"
#include "platform/platform.h"
#include "screen/screen.h"
#include "sound/sound.h"
#include "strings/strings.h"

namespace {

int32_t temporary_mark;

void statement_end(int32_t line) { program_statement_end(temporary_mark, line); }

void report(const char* what) {
    const char* path = std::getenv("SOUND_PLAY_REPORT");
    if (path == nullptr) return;
    std::FILE* out = std::fopen(path, "a");
    if (out == nullptr) return;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::fprintf(out, "%s %lld error=%u\n", what,
                 static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000, error_state.error_number);
    std::fclose(out);
}

}  // namespace

void program_main() {
    program_prologue();
    temporary_mark = string_temporary_mark();
    report("start");
    play_string(string_new_literal("gfedc", 5));
    statement_end(10);
    report("after_play");
    sound_tone(440, 18.2);
    statement_end(20);
    report("after_sound");
    play_string(string_new_literal("", 0));
    statement_end(30);
    report("after_wait");
    // Lets the mixer hand its last buffers to the device before the process ends.
    platform_sleep_ms(400);
    report("end");
}
