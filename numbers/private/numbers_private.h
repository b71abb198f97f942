// Internal steps of the numbers area shared between its source files.
#pragma once

#include <cstdint>

// Prints the RANDOMIZE prompt and reads one INTEGER from the keyboard.
uint16_t random_prompt_seed();
