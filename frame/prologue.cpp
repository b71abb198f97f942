// What every translated program does before its first statement: floating-point
// precision, the arithmetic trap, the temporary mark, the handler check and the
// hand-over from a chaining program.
#include <atomic>

#if defined(__x86_64__) || defined(__i386__)
#include <fpu_control.h>
#endif

#include "errors/errors.h"
#include "frame/frame.h"
#include "frame/private/frame_logic.h"
#include "strings/strings.h"

int32_t program_temporary_mark = 0;

namespace {

std::atomic<bool> precision_set{false};

// Intermediate results carry a 64-bit mantissa, as the x87 unit's extended precision.
void prologue_set_precision() {
    if (precision_set.exchange(true)) return;
#if defined(__x86_64__) || defined(__i386__)
    fpu_control_t control = 0;
    _FPU_GETCW(control);
    control = static_cast<fpu_control_t>((control & ~_FPU_EXTENDED) | _FPU_EXTENDED);
    _FPU_SETCW(control);
#endif
}

}  // namespace

void program_prologue() {
    prologue_set_precision();
    error_install_arithmetic_trap();
    program_temporary_mark = string_temporary_mark();
    if (error_state.handler_jump != 0) {
        // Re-entered to run an error handler this program does not have. The process ends
        // with status 99 through the ordinary shutdown, so the display loop is not torn
        // down underneath itself.
        error_state.handler_jump = 0;
        frame_state.exit_code.store(99);
        frame_state.exit_requested.store(1);
        thread_stop_program();
    }
    chain_receive();
}

void chain_receive() {
    if (command_line == nullptr) return;
    if (!frame_has_chain_marker(command_line->text, command_line->length)) return;
    // A chaining program's hand-over: the screen state it left in the named file is taken
    // over once file input exists in the runtime. Until then the command line, marker
    // included, stays as it came.
}
