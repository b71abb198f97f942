// Test program: shows the desktop's lock-key states on the top row until the window closes.
// BASIC source (the state function stands for the key-state query of the runtime):
//   10 LOCATE 1, 1
//   20 PRINT lockstate$
//   30 SLEEP 0.1: GOTO 10
#include <cstdio>
#include <cstring>

#include "errors/errors.h"
#include "frame/frame.h"
#include "program_support.h"
#include "platform/platform.h"
#include "screen/screen.h"
#include "strings/strings.h"

namespace {



void print_lock_states() {
    char text[64];
    std::snprintf(text, sizeof text, "caps=%d num=%d scroll=%d shift=%d",
                  platform_key_state(PlatformKey::caps_lock).toggled ? 1 : 0,
                  platform_key_state(PlatformKey::num_lock).toggled ? 1 : 0,
                  platform_key_state(PlatformKey::scroll_lock).toggled ? 1 : 0,
                  platform_key_state(PlatformKey::left_shift).held ? 1 : 0);
    BasicString* s = string_new(static_cast<int32_t>(std::strlen(text)), true);
    std::memcpy(s->text, text, std::strlen(text));
    print_make_fit(s);
    if (error_pending()) return;
    print_string(s, 1);
}

}  // namespace

void program_main() {
    program_prologue();
    for (;;) {
        statement(10, [] { screen_locate(1, 1, 0, 0, 0, 3); });
        statement(20, [] { print_lock_states(); });
        statement(30, [] { frame_delay_ms(100); });
    }
}
