// Display composition: turns the display page into window pixels once per frame.
#pragma once

#include <atomic>
#include <cstdint>

// 1 automatic (the main loop presents frames), 0 manual (only the program thread
// calls display_frame), -1 the next frame switches to manual.
extern std::atomic<int32_t> AutoDisplay;

// Composes and presents one frame. Main thread in automatic mode, program thread in manual.
void display_frame();

// The manual-display statement: switches the main loop off after its next frame, or,
// already manual, presents a frame now.
void display_manual();
// Back to automatic display.
void display_auto();

// The full-screen statement: 1 window, 0 and 2 best-fit full-screen, 3 best 4:3.
void display_request_fullscreen(int32_t kind);
// Alt+Enter: one more pending step of the window -> best-fit -> 4:3 -> window cycle.
void display_toggle_fullscreen();
// 0 window, 1 best-fit full-screen, 2 best 4:3 full-screen.
int32_t display_fullscreen_mode();

void display_hide_window();
void display_show_window();

// Forces the next frame to be drawn in full (mode, page and screen-font changes).
void display_invalidate();

// Reads the full-screen size list once at start-up (after SDL_Init).
void display_read_mode_list();
