// Test program: prints its COMMAND$, then parks at a paused statement check until the
// window is closed. At process
// exit it writes to the file named by FRAME_IDLE_REPORT whether both runtime threads had
// finished and been joined, and whether the program thread's stack was unwound.
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "errors/errors.h"
#include "frame/frame.h"
#include "screen/screen.h"
#include "strings/strings.h"

namespace {

std::atomic<int> program_stack_unwound{0};

struct UnwindWitness {
    ~UnwindWitness() { program_stack_unwound.store(1); }
};

void write_report() {
    const char* path = std::getenv("FRAME_IDLE_REPORT");
    if (path == nullptr) return;
    std::FILE* out = std::fopen(path, "w");
    if (out == nullptr) return;
    std::fprintf(out, "finished_mask=%u program_joined=%d timer_joined=%d unwound=%d\n",
                 frame_state.finished_mask.load(), frame_state.program_thread == nullptr ? 1 : 0,
                 frame_state.timer_thread == nullptr ? 1 : 0, program_stack_unwound.load());
    std::fclose(out);
}

}  // namespace

void program_main() {
    program_prologue();
    std::atexit(write_report);
    UnwindWitness witness;
    // 10 PRINT "Waiting for the window to close."
    static constexpr char kLine[] = "Waiting for the window to close.";
    print_string(string_new_literal(kLine, sizeof kLine - 1), 1);
    string_release_temporaries(program_temporary_mark, 0);
    // 20 PRINT COMMAND$
    print_string(command_line, 1);
    string_release_temporaries(program_temporary_mark, 0);
    // The pause bit keeps the statement check sleeping until a stop request arrives.
    error_state.suspend_flags.store(kSuspendPaused);
    error_state.event_pending.store(1);
    for (;;) {
        if (error_state.event_pending.load() != 0) error_statement_check(10);
        frame_delay_ms(10);
    }
}
