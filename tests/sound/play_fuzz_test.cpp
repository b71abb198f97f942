// Randomised PLAY strings: every string either plays or raises error 5, and never reads
// outside the variable area or builds more sound than its commands can ask for.
#include <cstdio>
#include <random>
#include <string>

#include "frame/frame.h"
#include "sound_fixture.h"

namespace {

// Mostly well-formed music: notes with lengths, sharps, dots and chords, settings, rests.
std::string random_tune(std::mt19937& rng) {
    static const char* const kFragments[] = {
        "C", "d", "E", "f", "G", "a", "B", "C#", "E-", "G+", "C8", "D16.", "E4", "F2", "G1", "A64", "B32..",
        "O0", "O3", "O6", "<", ">", "L8", "L16", "T200", "T60", "V10", "V100", "MS", "ML", "MN", "P8", "P16.",
        "N40", "N0", "N84", ",", " ", "C,E,G", "MB", "MF", "4", "8C",
    };
    std::uniform_int_distribution<size_t> pick(0, sizeof kFragments / sizeof kFragments[0] - 1);
    std::uniform_int_distribution<int> pieces(1, 20);
    std::string text;
    for (int i = pieces(rng); i > 0; --i) text += kFragments[pick(rng)];
    return text;
}

// Anything: fragments that reach every rule and its faults, and raw bytes.
std::string random_music(std::mt19937& rng) {
    static const char* const kFragments[] = {
        "C", "d", "E", "f", "G", "a", "B", "N", "L", "O", "P", "T", "V", "M", "MB", "MF", "ML", "MN", "MS",
        "<", ">", "#", "+", "-", ",", ".", " ", "4", "8", "16", "0", "64", "65", "120", "255", "32",
        "99999999999999999999999", "=", "..........", "C,E,G", "T255L64", "L1T32",
    };
    constexpr size_t kFragmentCount = sizeof kFragments / sizeof kFragments[0];
    std::uniform_int_distribution<int> pieces(0, 24);
    std::uniform_int_distribution<size_t> pick(0, kFragmentCount + 5);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string text;
    const int count = pieces(rng);
    for (int i = 0; i < count; ++i) {
        const size_t k = pick(rng);
        if (k < kFragmentCount) {
            text += kFragments[k];
        } else if (k == kFragmentCount) {
            text += std::string(static_cast<size_t>(byte(rng)) * 20, '.');  // thousands of dots
        } else if (k == kFragmentCount + 1) {
            text += std::string(static_cast<size_t>(byte(rng)) % 40, ',');  // deep chords
        } else {
            text += static_cast<char>(byte(rng));
        }
        // A reference with three arbitrary bytes after some "=".
        if (!text.empty() && text.back() == '=' && byte(rng) < 200) {
            for (int j = 0; j < 3; ++j) text += static_cast<char>(byte(rng));
        }
    }
    return text;
}

using PlayFuzzTest = SoundTest;

TEST_F(PlayFuzzTest, AnyStringPlaysOrRaisesError5) {
    std::mt19937 rng(20261211);
    // Fill the variable area with values of every size so references find real numbers.
    std::uniform_int_distribution<int> byte(0, 255);
    for (size_t i = 0; i < play_variable_area.size; ++i) {
        EmulatedMemory[kDataSegmentBase + i] = static_cast<uint8_t>(byte(rng) < 128 ? byte(rng) % 70 : byte(rng));
    }
    int played = 0;
    int failed = 0;
    uint64_t total_bytes = 0;
    for (int round = 0; round < 1000; ++round) {
        const std::string text = round % 2 == 0 ? random_tune(rng) : random_music(rng);
        error_state.error_number = 0;
        play_bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
        const uint32_t error = error_state.error_number;
        ASSERT_TRUE(error == 0 || error == 5) << "error " << error << " for a string of " << text.size();
        (error == 0 ? played : failed) += 1;
        // Each letter can add at most one note or rest of 15 s (L1 at T32 with dots).
        size_t letters = 0;
        size_t modes = 0;
        for (char c : text) {
            letters += (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ? 1 : 0;
            modes += c == 'M' || c == 'm' ? 1 : 0;
        }
        uint64_t queued_bytes = 0;
        for (const QueuedSound& q : take_queued()) queued_bytes += q.samples.size() * 2;
        total_bytes += queued_bytes;
        ASSERT_LE(queued_bytes, letters * 15 * 88200 + 8) << "string of " << text.size();
        // The start-up silence, the music and its marker, and two more for each MB.
        EXPECT_LE(sound_slots_in_use(), static_cast<int32_t>(3 + 2 * modes));
        sound_reset_for_tests();
        first_new_ = tone_queue.write_position.load();
    }
    EXPECT_GT(played, 100);
    EXPECT_GT(failed, 100);
    EXPECT_GT(total_bytes, uint64_t{100} * 88200) << "the strings should build real music";
    std::printf("%d played, %d failed, %.1f s of sound\n", played, failed, total_bytes / 88200.0);
    std::memset(EmulatedMemory + kDataSegmentBase, 0, play_variable_area.size);
}

}  // namespace
