// The 24-bit linear congruential generator behind RND and RANDOMIZE.
#include <bit>

#include "errors/errors.h"
#include "numbers/numbers.h"
#include "numbers/private/numbers_private.h"

uint32_t random_state = kRandomStartState;

float random_next(float x, int32_t given) {
    if (error_pending()) return 0.0f;
    if (!given) x = 1.0f;
    if (x != 0.0f) {
        if (x < 0.0f) {
            // A negative argument always restarts from the same state, whatever came before.
            const uint32_t bits = std::bit_cast<uint32_t>(x);
            random_state = (bits & kRandomMask) + (bits >> 24);
        }
        random_state = (random_state * kRandomMultiplier + kRandomIncrement) & kRandomMask;
    }
    // Every 24-bit state is exact in a SINGLE, so the result never reaches 1.
    return static_cast<float>(random_state) / 16777216.0f;
}

void random_seed_bits(uint16_t seed) {
    random_state = (random_state & 0xFFu) | (static_cast<uint32_t>(seed) << 8);
}

void random_seed(double value, int32_t mode) {
    if (error_pending()) return;
    if (mode == kRandomSeedValue || mode == kRandomSeedUsing) {
        // Only the sign, exponent and top 20 mantissa bits take part in the seed.
        uint32_t high = static_cast<uint32_t>(std::bit_cast<uint64_t>(value) >> 32);
        high ^= high >> 16;
        random_seed_bits(static_cast<uint16_t>(high & 0xFFFFu));
        return;
    }
    const uint16_t seed = random_prompt_seed();
    if (error_pending()) return;  // the input was abandoned (stop request)
    random_seed_bits(seed);
}
