// Test program: a failing statement at line 120 and another at line 130, then END.
// BASIC source:
//   100 PRINT "before the errors"
//   120 OPEN "missing.txt" FOR INPUT AS #1   ' File not found
//   130 PRINT #1, "x"                        ' Bad file mode
//   140 PRINT "after the errors"
//   150 END
// The failing calls are stood in for by the errors they raise, so the test does not
// depend on the file statements.
#include <cstring>

#include "errors/errors.h"
#include "frame/frame.h"
#include "frame/program_protocol.h"
#include "screen/screen.h"
#include "strings/strings.h"

namespace {

int32_t temporary_mark;

template <typename Body>
void statement(int32_t line, Body body) {
    program_statement(temporary_mark, line, body);
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
    temporary_mark = string_temporary_mark();
    statement(100, [] { print_line("before the errors"); });
    statement(120, [] { error_raise(kErrorFileNotFound); });
    statement(130, [] { error_raise(kErrorBadFileMode); });
    statement(140, [] { print_line("after the errors"); });
    program_end();
}
