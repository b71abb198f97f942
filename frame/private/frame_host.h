// Host-side internals shared by the frame's start-up, loop and thread files.
#pragma once

#include <SDL.h>

#include <cstdint>

// SDL key repeat while the window has the focus.
inline constexpr int kKeyRepeatDelayMs = 500;
inline constexpr int kKeyRepeatIntervalMs = 30;

// Entry of the ProgramThread: runs program_main.
int SDLCALL frame_program_thread_entry(void* unused);

// The mouse pointer made at start-up; hidden and freed at shutdown.
extern SDL_Cursor* frame_mouse_cursor;

// Number of process environment entries, counted at start-up.
extern int32_t frame_environment_count;

// Writes the BIOS tick counter at 0x46C from the tick clock.
void frame_store_bios_ticks();

// What one pass of the display loop did.
struct FrameLoopPass {
    bool presented;       // display_frame was called
    bool events_handled;  // focus, lock keys and window events were handled
};

// One pass of the display loop; parity starts at 0 and is kept by the caller.
FrameLoopPass frame_loop_pass(uint32_t& parity);

// The whole start-up up to (not including) the display loop. Returns false when a
// thread could not be created.
bool frame_startup(int argc, char** argv);
