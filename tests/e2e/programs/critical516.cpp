// Test program: line input runs out of memory (critical error 516) at line 100.
// BASIC source:
//   90 PRINT "before"
//   100 LINE INPUT a$      ' the line buffer cannot grow
//   110 PRINT "never shown"
//   120 END
#include <cstring>

#include "errors/errors.h"
#include "frame/frame.h"
#include "program_support.h"
#include "screen/screen.h"
#include "strings/strings.h"

void program_main() {
    program_prologue();
    statement(90, [] { print_line("before"); });
    statement(100, [] { error_raise(516); });
    statement(110, [] { print_line("never shown"); });
    program_end();
}
