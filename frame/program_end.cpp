// END: leaves the last screen up, asks for a key on the bottom row, then stops the program.
#include <cstring>

#include "display/display.h"
#include "errors/errors.h"
#include "frame/frame.h"
#include "keyboard/keyboard.h"
#include "platform/platform.h"
#include "screen/screen.h"
#include "strings/strings.h"

namespace {

constexpr char kContinueMessage[] = "Press any key to continue";

// The key polls below wait this long per empty poll instead of spinning a core.
constexpr uint32_t kKeyPollSleep_ms = 1;

// Reads INKEY$ once; true when a key was waiting. The temporary goes straight back.
bool end_key_waiting(int32_t mark) {
    const BasicString* key = key_inkey();
    const bool waiting = key->length != 0;
    string_release_temporaries(mark, 0);
    return waiting;
}

}  // namespace

void program_end() {
    // The runtime has no file table of its own yet, so there are no files to close here.

    // A pending error would keep the message from printing and make INKEY$ read nothing
    // for ever, so the wait below could only end by closing the window. The program is
    // over; the error is dropped.
    error_state.error_number = 0;
    const int32_t mark = string_temporary_mark();

    // From now on a window close or the break key ends the process even if the program
    // had asked to handle them.
    frame_state.close_intercept.store(0);

    // The message goes on the page the player is looking at, on its bottom row only.
    image_set_destination(image_get_display());
    const int32_t rows = image_text_rows(current_images.destination);
    screen_view_print(rows, rows, 1);

    // The line end inside the one-row window scrolls that row: it is left empty with the
    // cursor at its start, and nothing above it moves.
    print_string(string_shared_empty, 1);
    print_string(string_new_literal(kContinueMessage, static_cast<int32_t>(std::strlen(kContinueMessage))), 0);

    string_release_temporaries(mark, 0);

    // Keys typed before the message appeared do not count.
    while (end_key_waiting(mark)) platform_sleep_ms(kKeyPollSleep_ms);

    // Shown even when the program had switched automatic display off.
    AutoDisplay.store(1);

    for (;;) {
        platform_sleep_ms(kKeyPollSleep_ms);
        if (error_state.stop_requested.load() != 0) thread_stop_program();
        if (end_key_waiting(mark)) break;
    }

    frame_state.exit_requested.store(1);
    thread_stop_program();
}
