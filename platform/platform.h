// The small Linux layer that stands in for the Windows calls the runtime makes:
// message boxes, lock-key state, the executable's path and sleeping.
#pragma once

#include <cstdint>
#include <string>

enum class MessageBoxButtons { ok, yes_no };
enum class MessageBoxResult { ok, yes, no, failed };

// Shows a modal message box with a caption and text (lines separated by '\n').
// On a desktop it is a real dialog window; with no display it writes the caption
// and text to standard error and answers No (or OK).
MessageBoxResult platform_message_box(const char* caption, const char* text, MessageBoxButtons buttons);

// Shows the runtime's SDL window maximised (after an error report in full-screen mode).
void platform_maximize_program_window();

// Lock and modifier keys as the window system sees them now.
enum class PlatformKey { scroll_lock, caps_lock, num_lock, left_shift, right_shift,
                         left_ctrl, right_ctrl, left_alt, right_alt };
struct PlatformKeyState {
    bool held;     // the key is down
    bool toggled;  // the lock is on (lock keys only)
    bool known;    // false when the window system could not be asked (no display)
};
PlatformKeyState platform_key_state(PlatformKey key);

// Full path of the running executable ("" when unknown).
std::string platform_module_path();

// Sleeps the calling thread. 0 stands for "let others run" and sleeps about 1 ms.
void platform_sleep_ms(uint32_t duration_ms);
