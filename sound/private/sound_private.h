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

// Wraps a malloc'd buffer as a handle and queues it (see sound_queue_push). With every
// slot in use the buffer is freed and nothing is queued; a null buffer queues nothing.
void sound_queue_samples(uint8_t* samples, uint32_t byte_length, bool wait);

// Queues byte_length bytes of silence (see sound_queue_samples).
void sound_queue_silence(uint32_t byte_length, bool wait);

// Forgets the device and every slot so tests can start from the first sound again.
void sound_reset_for_tests();
