// Test program: writes a known set of cells straight into the display page — every
// character, every foreground on every background — then waits for the window to close.
#include <cstdint>
#include <cstring>

#include "errors/errors.h"
#include "frame/frame.h"
#include "screen/screen.h"

namespace {

void put(ImageRecord* page, int column, int row, uint8_t code, uint8_t attribute) {
    screen_cell_store(page->pixels + (row * page->width + column) * 2, static_cast<uint16_t>(code | (attribute << 8)));
}

void put_text(ImageRecord* page, int column, int row, const char* text, uint8_t attribute) {
    for (size_t i = 0; i < std::strlen(text); ++i) put(page, column + static_cast<int>(i), row, static_cast<uint8_t>(text[i]), attribute);
}

}  // namespace

void program_main() {
    program_prologue();
    ImageRecord* page = current_images.display.load();
    put_text(page, 0, 0, "Display cells", 0x07);
    // Rows 2..9: codes 0..255, 32 a row, yellow on blue.
    for (int code = 0; code < 256; ++code) put(page, code % 32, 2 + code / 32, static_cast<uint8_t>(code), 0x1E);
    // Rows 11..18: foreground f on background b shows the letter 'A' + f at column 2f.
    for (int b = 0; b < 8; ++b) {
        for (int f = 0; f < 16; ++f) put(page, f * 2, 11 + b, static_cast<uint8_t>('A' + f), static_cast<uint8_t>(b << 4 | f));
    }
    put_text(page, 70, 24, "last row", 0x4F);
    put(page, 79, 0, 219, 0x02);

    // The pause bit keeps the statement check sleeping until the window is closed.
    error_state.suspend_flags.store(kSuspendPaused);
    error_state.event_pending.store(1);
    for (;;) {
        if (error_state.event_pending.load() != 0) error_statement_check(10);
        frame_delay_ms(10);
    }
}
