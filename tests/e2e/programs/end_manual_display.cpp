// Test program: switches automatic display off, prints a line, then ENDs.
#include <cstring>

#include "display/display.h"
#include "frame/frame.h"
#include "screen/screen.h"
#include "strings/strings.h"

void program_main() {
    program_prologue();
    const int32_t mark = string_temporary_mark();
    display_manual();
    const char text[] = "printed while automatic display is off";
    print_string(string_new_literal(text, static_cast<int32_t>(std::strlen(text))), 1);
    string_release_temporaries(mark, 0);
    program_end();
}
