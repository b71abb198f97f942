// Host-side internals shared by the frame's start-up, loop and thread files.
#pragma once

#include <SDL.h>

#include <cstdint>

// Entry of the ProgramThread: runs program_main.
int SDLCALL frame_program_thread_entry(void* unused);

// The mouse pointer made at start-up; hidden and freed at shutdown.
extern SDL_Cursor* frame_mouse_cursor;

// Number of process environment entries, counted at start-up.
extern int32_t frame_environment_count;

// Writes the BIOS tick counter at 0x46C from the tick clock.
void frame_store_bios_ticks();

// The whole start-up up to (not including) the display loop. Returns false when a
// thread could not be created.
bool frame_startup(int argc, char** argv);
