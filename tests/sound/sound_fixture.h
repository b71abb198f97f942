// Shared fixture for the sound tests: a fresh handle table and queue, and the PLAY output.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "errors/errors.h"
#include "sound/private/sound_private.h"
#include "sound/sound.h"

// One queued entry: its handle and samples (left/right pairs interleaved).
struct QueuedSound {
    uint32_t handle;
    std::vector<int16_t> samples;
};

class SoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        error_state.error_number = 0;
        sound_init();
        sound_reset_for_tests();
        first_new_ = tone_queue.write_position.load();
    }
    void TearDown() override {
        error_state.error_number = 0;
        sound_reset_for_tests();
    }

    // Everything queued since SetUp (or the last call), in queue order.
    std::vector<QueuedSound> take_queued() {
        std::vector<QueuedSound> out;
        const int32_t end = tone_queue.write_position.load();
        for (int32_t p = first_new_; p != end; p = (p + 1) % kToneQueueLength) {
            QueuedSound q{tone_queue.entries[p], {}};
            const int64_t bytes = sound_handle_samples(q.handle, nullptr, 0);
            if (bytes > 0) {
                q.samples.resize(static_cast<size_t>(bytes) / 2);
                sound_handle_samples(q.handle, reinterpret_cast<uint8_t*>(q.samples.data()), bytes);
            }
            out.push_back(std::move(q));
        }
        first_new_ = end;
        return out;
    }

    bool waiting() const { return (error_state.suspend_flags.load() & kSuspendSoundWait) != 0; }

    int32_t first_new_ = 0;
};

// Frames of a tone of n frames (left channel only).
inline std::vector<int16_t> left_channel(const std::vector<int16_t>& samples, size_t first = 0,
                                         size_t count = SIZE_MAX) {
    std::vector<int16_t> out;
    for (size_t i = first; i < samples.size() / 2 && out.size() < count; ++i) out.push_back(samples[2 * i]);
    return out;
}

// Rising crossings (a positive sample after one at or below zero), counted from frame 1.
inline int32_t rising_crossings(const std::vector<int16_t>& mono) {
    int32_t count = 0;
    int32_t previous = 1;
    for (int16_t s : mono) {
        if (s > 0 && previous <= 0) ++count;
        previous = s;
    }
    return count;
}

// Frame of the last rising crossing of a triangle of frequency f within `frames` frames:
// period k starts at k x 22050/f, and its first positive frame follows.
inline uint32_t expected_cut_frames(double frequency_hz, uint32_t frames) {
    const double period = kSoundRateHz / frequency_hz;
    uint32_t cut = 0;
    for (uint32_t k = 0;; ++k) {
        const auto first_positive = static_cast<uint32_t>(std::floor(k * period)) + 1;
        if (first_positive >= frames) break;
        cut = first_positive;
    }
    return cut;
}
