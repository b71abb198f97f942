// Internal pieces of the sound area shared between its source files.
#pragma once

#include <cstdint>

// Slot-level operations by handle that neither check nor raise errors; the display loop
// uses them because the pending-error record belongs to the program thread.
int32_t sound_slot_is_playing(uint32_t handle);
void sound_slot_close(uint32_t handle);
void sound_slot_play(uint32_t handle);

// Queues the start-up silence; part of device initialisation.
void sound_queue_startup_silence();

// Forgets the device and every slot so tests can start from the first sound again.
void sound_reset_for_tests();
