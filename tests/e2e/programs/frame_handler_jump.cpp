// Test program: enters as if the error machinery had re-entered it to run an error
// handler; without a handler the process must end with status 99.
#include "errors/errors.h"
#include "frame/frame.h"

void program_main() {
    error_state.handler_jump = 1;
    program_prologue();
    for (;;) frame_delay_ms(100);  // not reached: the prologue stops the program
}
