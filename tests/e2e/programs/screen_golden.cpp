// Test program: prints a known screen through the screen statements — colours, a blinking
// cell, full-width lines, a scrolled window under a fixed bottom row and comma zones —
// then, after a key, shows a half-height text cursor.
#include <cstdio>
#include <cstring>
#include <string>

#include "errors/errors.h"
#include "frame/frame.h"
#include "frame/program_protocol.h"
#include "keyboard/keyboard.h"
#include "screen/screen.h"
#include "strings/strings.h"

namespace {

BasicString* text_of(const char* text) { return string_new_literal(text, static_cast<int32_t>(std::strlen(text))); }

// One PRINT item followed by a semicolon.
void item(const char* text) {
    BasicString* s = text_of(text);
    print_make_fit(s);
    print_string(s, 0);
}
// The end of a PRINT statement without a trailing separator.
void end_print() { print_string(string_shared_empty, 1); }

void color(uint32_t fore, uint32_t back) { screen_color(fore, back, 0, 3); }
void locate(int32_t row, int32_t column) { screen_locate(row, column, 0, 0, 0, 3); }

void statement_end(int32_t mark, int32_t line) { program_statement_end(mark, line); }

}  // namespace

void program_main() {
    program_prologue();
    const int32_t mark = string_temporary_mark();

    // The bottom row is outside the scrolling window and must survive the scrolling.
    locate(25, 1);
    item("Row 25 stays put while rows 1-24 scroll");
    statement_end(mark, 10);
    locate(1, 1);
    char line[32];
    for (int i = 1; i <= 30; ++i) {
        std::snprintf(line, sizeof line, "Scroll line %d", i);
        item(line);
        end_print();
        statement_end(mark, 20);
    }

    // Clear rows 1-10 for the colour and wrap rows; rows 11-23 keep the scrolled lines.
    screen_view_print(1, 10, 1);
    screen_cls(2, 0, 1);
    screen_view_print(1, 24, 1);
    statement_end(mark, 30);

    item("Foreground:");
    for (uint32_t f = 0; f < 16; ++f) {
        color(f, 0);
        item(f < 10 ? std::string(1, static_cast<char>('0' + f)).c_str() : std::string(1, static_cast<char>('A' + f - 10)).c_str());
    }
    color(7, 0);
    end_print();
    statement_end(mark, 40);

    item("Background:");
    for (uint32_t b = 0; b < 8; ++b) {
        color(15, b);
        char cell[4] = {' ', static_cast<char>('0' + b), ' ', 0};
        item(cell);
    }
    color(7, 0);
    end_print();
    statement_end(mark, 50);

    item("Blink:");
    color(30, 1);  // blinking yellow on blue
    item("B");
    color(7, 0);
    item(" steady");
    end_print();
    statement_end(mark, 60);

    // A full row with a line end takes one row; without one the cursor is held at the end
    // and the next item starts on the following row.
    item(std::string(80, 'A').c_str());
    end_print();
    item(std::string(80, 'b').c_str());
    item("after the held cursor");
    end_print();
    statement_end(mark, 70);

    // Commas at columns 1, 15 and 70.
    locate(7, 1);
    print_comma();
    item("<15");
    end_print();
    locate(8, 15);
    print_comma();
    item("<29");
    end_print();
    locate(9, 70);
    item("|");
    print_comma();
    item("Z");
    end_print();
    statement_end(mark, 80);

    // The test presses a key once it has read the screen; then the cursor appears on a
    // blank cell, lower half of the cell (scan lines 3 to 7).
    for (;;) {
        BasicString* key = key_inkey();
        const bool pressed = key != nullptr && key->length > 0;
        statement_end(mark, 90);
        if (pressed) break;
        frame_delay_ms(10);
    }
    locate(12, 40);
    screen_locate(0, 0, 1, 3, 7, 4 | 8 | 16);
    statement_end(mark, 100);

    // The pause bit keeps the statement check sleeping until the window is closed.
    error_state.suspend_flags.store(kSuspendPaused);
    error_state.event_pending.store(1);
    for (;;) {
        if (error_state.event_pending.load() != 0) error_statement_check(110);
        frame_delay_ms(10);
    }
}
