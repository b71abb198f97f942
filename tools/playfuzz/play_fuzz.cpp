// libFuzzer entry for PLAY: the input is the music string and also, repeated, the content
// of the variable area that "=" references read. Every string must play or raise error 5.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "errors/errors.h"
#include "sound/private/sound_private.h"
#include "sound/sound.h"

namespace {

uint8_t fuzz_area[256];

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = false;
    if (!ready) {
        ready = true;
        sound_init();
        play_variable_area = PlayVariableArea{fuzz_area, sizeof fuzz_area};
    }
    for (size_t i = 0; i < sizeof fuzz_area; ++i) fuzz_area[i] = size == 0 ? 0 : data[i % size];
    error_state.error_number = 0;
    play_bytes(data, size);
    if (error_state.error_number != 0 && error_state.error_number != 5) {
        std::fprintf(stderr, "PLAY raised error %u\n", error_state.error_number);
        std::abort();
    }
    error_state.error_number = 0;
    sound_reset_for_tests();  // frees every buffer the string built
    return 0;
}
