// Randomised keystroke sequences and field texts through the key translation and INPUT,
// with fixed seeds so every run checks the same cases.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "keyboard_fuzz_driver.h"

namespace {

// Bytes INPUT cares about, so random lines reach deep into the number rules.
constexpr uint8_t kInterestingKeys[] = {'0', '1', '2', '3', '5', '7', '8', '9', '-', '+', '.', 'E', 'e',
                                        'D', 'd', '&', 'H', 'h', 'O', 'F', 'f', ',', '"', 'x', ' ',
                                        8,   8,   9,   0xF0, 0xF1, 0,  12,  200, 13};

std::vector<uint8_t> random_case(std::mt19937& rng, bool input_mode) {
    std::uniform_int_distribution<int> length(2, 160);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> pick(0, static_cast<int>(std::size(kInterestingKeys)) - 1);
    std::vector<uint8_t> data(static_cast<size_t>(length(rng)));
    for (uint8_t& b : data) {
        b = (input_mode && byte(rng) < 220) ? kInterestingKeys[pick(rng)] : static_cast<uint8_t>(byte(rng));
    }
    data[0] = static_cast<uint8_t>((byte(rng) & ~1) | (input_mode ? 0 : 1));
    if (input_mode && data.size() > 3) {
        // Target count and kinds are plain random bytes.
        data[1] = static_cast<uint8_t>(byte(rng));
        data[2] = static_cast<uint8_t>(byte(rng));
        data[3] = static_cast<uint8_t>(byte(rng));
    }
    return data;
}

TEST(KeyboardFuzz, RandomKeyEventSequencesKeepTheBuffersConsistent) {
    std::mt19937 rng(20261211);
    for (int i = 0; i < 400; ++i) {
        std::vector<uint8_t> data = random_case(rng, false);
        keyboard_fuzz::run_one(data.data(), data.size());
    }
}

TEST(KeyboardFuzz, RandomInputLinesStayValidForTheirTargets) {
    std::mt19937 rng(1211);
    for (int i = 0; i < 300; ++i) {
        std::vector<uint8_t> data = random_case(rng, true);
        keyboard_fuzz::run_one(data.data(), data.size());
    }
    EXPECT_GT(keyboard_fuzz::input_rounds, 300);
    EXPECT_GT(keyboard_fuzz::keys_typed, 10000);
}

}  // namespace
