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
#include "program_support.h"
#include "screen/screen.h"
#include "strings/strings.h"

void program_main() {
    program_prologue();
    statement(100, [] { print_line("before the errors"); });
    statement(120, [] { error_raise(kErrorFileNotFound); });
    statement(130, [] { error_raise(kErrorBadFileMode); });
    statement(140, [] { print_line("after the errors"); });
    program_end();
}
