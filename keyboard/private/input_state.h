// INPUT internals that tests and the fuzz driver reach: the key-wait step and the line.
#pragma once

#include <cstdint>

// Called instead of the 10 ms pause before each key poll when set; a driver that types
// keys on the program thread itself fills the ring here.
extern void (*input_wait_hook)();

// Copies the line of the current (or last) INPUT into out (room for 256 bytes) and
// returns its length.
int32_t input_line_copy(uint8_t* out);
