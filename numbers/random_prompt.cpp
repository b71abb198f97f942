// The RANDOMIZE prompt: asks for a seed on the screen and reads it with INPUT.

#include "keyboard/keyboard.h"
#include "numbers/private/numbers_private.h"
#include "screen/screen.h"

uint16_t random_prompt_seed() {
    static constexpr char kPrompt[] = "Random-number seed (-32768 to 32767)? ";
    print_bytes(reinterpret_cast<const uint8_t*>(kPrompt), static_cast<int32_t>(sizeof kPrompt - 1), 0);
    int16_t seed = 0;
    InputTargetList[1] = InputTarget{16, &seed};  // one 16-bit INTEGER
    input_statement(1, 1);
    return static_cast<uint16_t>(seed);
}
