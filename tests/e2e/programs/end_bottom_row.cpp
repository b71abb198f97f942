// Test program: fills all 25 rows, waits while the test types a key, then ENDs.
#include <cstdio>
#include <cstring>

#include "frame/frame.h"
#include "platform/platform.h"
#include "screen/screen.h"
#include "strings/strings.h"

namespace {

void print_text(const char* text, int32_t end_line) {
    print_string(string_new_literal(text, static_cast<int32_t>(std::strlen(text))), end_line);
}

}  // namespace

void program_main() {
    program_prologue();
    const int32_t mark = string_temporary_mark();
    char line[64];
    for (int row = 1; row <= 24; ++row) {
        std::snprintf(line, sizeof line, "row %02d stays where it is", row);
        print_text(line, row < 24 ? 1 : 0);  // a line end on row 24 would scroll the window
        string_release_temporaries(mark, 0);
    }
    // The bottom row holds text too; END must replace it without scrolling the rest.
    screen_locate(25, 1, 0, 0, 0, 3);
    print_text("bottom row text that END replaces", 0);
    screen_locate(1, 40, 0, 0, 0, 3);
    print_text("ready", 0);
    string_release_temporaries(mark, 0);
    // The test types a key now; it lands in the key ring before END starts.
    platform_sleep_ms(2000);
    screen_locate(1, 40, 0, 0, 0, 3);
    print_text("ended", 0);
    string_release_temporaries(mark, 0);
    program_end();
}
