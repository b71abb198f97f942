// The main thread's display loop: the BIOS tick counter, frames on odd passes, focus,
// lock keys and window events on even passes, the mouse queue and the shutdown.
#include <SDL.h>

#include <cstdlib>

#include "display/display.h"
#include "errors/errors.h"
#include "frame/frame.h"
#include "frame/private/frame_host.h"
#include "frame/private/frame_logic.h"
#include "keyboard/keyboard.h"
#include "sound/sound.h"

namespace {

void loop_wait_while_suspended() {
    uint32_t expected = 1;
    if (!frame_state.display_suspend.compare_exchange_strong(expected, 2)) return;
    while (frame_state.display_suspend.load() == 2) frame_delay_ms(1);
}

// SDL is told only when the setting changes.
void loop_set_key_repeat(bool on) {
    if ((key_repeat_on.load() != 0) != on) {
        SDL_EnableKeyRepeat(on ? kKeyRepeatDelayMs : 0, on ? kKeyRepeatIntervalMs : 0);
    }
    key_repeat_on.store(on ? 1 : 0);
}

void loop_follow_focus() {
    const Uint8 state = SDL_GetAppState();
    loop_set_key_repeat((state & SDL_APPINPUTFOCUS) != 0 && (state & SDL_APPACTIVE) != 0);
}

void loop_mouse_motion(const SDL_MouseMotionEvent& motion) {
    MouseRecord record{motion.x, motion.y, motion.state, motion.xrel, motion.yrel};
    uint32_t ignore = motion_ignore_count.load();
    if (ignore > 0) {
        record.move_x = 0;
        record.move_y = 0;
        motion_ignore_count.store(ignore - 1);
    }
    mouse_queue_append(record);
    record.move_x = 0;
    record.move_y = 0;
    mouse_queue_append(record);
}

void loop_mouse_button(const SDL_MouseButtonEvent& button, bool down) {
    const uint32_t buttons = frame_mouse_buttons_after(mouse_queue.records[mouse_queue.write_position.load()].buttons, button.button, down);
    mouse_queue_append(MouseRecord{button.x, button.y, buttons, 0, 0});
}

void loop_key(const SDL_KeyboardEvent& key) {
    KeyEventRecord record{};
    record.type = key.type == SDL_KEYDOWN ? KeyEventType::down : KeyEventType::up;
    record.symbol = static_cast<int32_t>(key.keysym.sym);
    record.modifiers = static_cast<uint32_t>(key.keysym.mod);
    record.unicode = key.keysym.unicode;
    record.scancode = key.keysym.scancode;
    key_translate_event(record);
}

void loop_handle_events() {
    SDL_Event event;
    while (SDL_PollEvent(&event) != 0) {
        switch (event.type) {
            case SDL_KEYDOWN:
            case SDL_KEYUP:
                loop_key(event.key);
                break;
            case SDL_MOUSEMOTION:
                loop_mouse_motion(event.motion);
                break;
            case SDL_MOUSEBUTTONDOWN:
                loop_mouse_button(event.button, true);
                break;
            case SDL_MOUSEBUTTONUP:
                loop_mouse_button(event.button, false);
                break;
            case SDL_QUIT:
                if (frame_state.close_intercept.load() == 1) {
                    frame_state.close_requests.fetch_or(1);
                } else {
                    runtime_shutdown();
                }
                break;
            default:
                break;  // joystick events go to an input-device service this program lacks
        }
    }
}

}  // namespace

FrameLoopPass frame_loop_pass(uint32_t& parity) {
    FrameLoopPass pass{false, false};
    loop_wait_while_suspended();
    frame_store_bios_ticks();

    bool present_now = false;
    const int32_t hidden = frame_state.window_hidden_state.load();
    if (hidden == -1) {
        frame_delay_ms(64);
        return pass;
    }
    if (hidden != 0) {
        // First pass after hiding: one last frame, no events until shown again.
        int32_t expected = hidden;
        frame_state.window_hidden_state.compare_exchange_strong(expected, -1);
        loop_set_key_repeat(false);
        present_now = true;
    } else {
        frame_delay_ms(15);
        display_status_retrace.store(1);
        display_status_frame.store(1);
        frame_delay_ms(1);
        if (frame_state.exit_requested.load() != 0) {
            frame_state.display_suspend.store(2);
            runtime_shutdown();
        }
        parity ^= 1;
        sound_service_queue();
        present_now = parity == 1;
    }

    if (present_now && AutoDisplay.load() != 0) {
        display_frame();
        pass.presented = true;
    }
    display_status_frame.store(0);
    if (frame_state.window_hidden_state.load() != 0 || parity == 1) return pass;

    loop_follow_focus();
    key_sync_locks();
    loop_handle_events();
    pass.events_handled = true;
    return pass;
}

[[noreturn]] void DisplayLoop() {
    uint32_t parity = 0;
    for (;;) frame_loop_pass(parity);
}

[[noreturn]] void runtime_shutdown() {
    error_state.stop_requested.store(1);
    error_state.event_pending.store(1);
    if (frame_state.program_thread != nullptr) SDL_WaitThread(frame_state.program_thread, nullptr);
    frame_state.program_thread = nullptr;
    while (frame_state.finished_mask.load() != 3) frame_delay_ms(16);
    if (frame_state.timer_thread != nullptr) SDL_WaitThread(frame_state.timer_thread, nullptr);
    frame_state.timer_thread = nullptr;
    // TODO(frame): close every open file once files/ exists.
    SDL_ShowCursor(0);
    if (frame_mouse_cursor != nullptr) SDL_FreeCursor(frame_mouse_cursor);
    frame_mouse_cursor = nullptr;
    std::exit(frame_state.exit_code.load());
}
