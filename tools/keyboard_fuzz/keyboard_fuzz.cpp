// libFuzzer entry: each input is one run of key events or INPUT statements.
#include <cstddef>
#include <cstdint>

#include "keyboard_fuzz_driver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    keyboard_fuzz::run_one(data, size);
    return 0;
}
