// Test program: line input runs out of memory (critical error 516) at line 100.
// BASIC source:
//   90 PRINT "before"
//   100 LINE INPUT a$      ' the line buffer cannot grow
//   110 PRINT "never shown"
//   120 END
#include <cstring>

#include "errors/errors.h"
#include "frame/frame.h"
#include "frame/program_protocol.h"
#include "screen/screen.h"
#include "strings/strings.h"

namespace {


template <typename Body>
void statement(int32_t line, Body body) {
    program_statement(program_temporary_mark, line, body);
}

void print_line(const char* text) {
    BasicString* s = string_new_literal(text, static_cast<int32_t>(std::strlen(text)));
    print_make_fit(s);
    if (error_pending()) return;
    print_string(s, 1);
}

}  // namespace

void program_main() {
    program_prologue();
    statement(90, [] { print_line("before"); });
    statement(100, [] { error_raise(516); });
    statement(110, [] { print_line("never shown"); });
    program_end();
}
