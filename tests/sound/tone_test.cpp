// Tests of tone synthesis, the handle table, the tone queue, SOUND and BEEP.
#include <cmath>
#include <cstdlib>
#include <atomic>
#include <chrono>
#include <thread>

#include "sound_fixture.h"

namespace {

struct ToneBuffer {
    std::vector<int16_t> samples;
    uint32_t bytes;
};

ToneBuffer generate(double f, double t, double a) {
    uint8_t* raw = sound_generate_tone(f, t, a);
    ToneBuffer out{{}, sound_last_generated_bytes};
    out.samples.assign(reinterpret_cast<int16_t*>(raw), reinterpret_cast<int16_t*>(raw) + out.bytes / 2);
    std::free(raw);
    return out;
}

TEST(ToneTest, A440HalfSecondIsCutToItsLastRisingCrossing) {
    const ToneBuffer tone = generate(440.0, 0.5, 1.0);
    // 11025 frames asked; 220 whole periods of 50.11 frames would end at 11025, so the
    // last rising crossing inside the buffer is that of period 219, at frame 10975.
    EXPECT_EQ(expected_cut_frames(440.0, 11025), 10975u);
    EXPECT_EQ(tone.bytes, 10975u * 4);
    const auto mono = left_channel(tone.samples);
    EXPECT_EQ(mono[0], 0);
    EXPECT_EQ(mono[1], 2615);  // 4 x 440 / 22050 of full scale, truncated
    EXPECT_LE(mono.back(), 0);
    EXPECT_EQ(rising_crossings(mono), 219);
    for (size_t i = 0; i < mono.size(); ++i) ASSERT_EQ(tone.samples[2 * i], tone.samples[2 * i + 1]) << i;
    const auto [low, high] = std::minmax_element(mono.begin(), mono.end());
    EXPECT_GE(*low, -32767);
    EXPECT_LE(*high, 32767);
    EXPECT_GT(*high, 32000);
}

TEST(ToneTest, CutsMatchWholePeriodsAcrossFrequencies) {
    struct Case { double f; double t; };
    constexpr Case kCases[] = {{1567.98, 0.4375}, {1046.5, 0.4375}, {65.406, 0.4375}, {8372.0, 0.1},
                               {37.0, 1 / 18.2}, {1000.0, 1.0}};
    for (const Case& c : kCases) {
        const ToneBuffer tone = generate(c.f, c.t, 0.5);
        const auto frames = static_cast<uint32_t>(std::trunc(22050 * c.t));
        EXPECT_EQ(tone.bytes, expected_cut_frames(c.f, frames) * 4) << c.f;
        for (int16_t s : tone.samples) ASSERT_LE(std::abs(s), 16383) << c.f;
    }
}

TEST(ToneTest, SilentAndDegenerateTones) {
    struct Case { double f; double t; double a; uint32_t bytes; };
    constexpr Case kCases[] = {
        {0.0, 1.0, 1.0, 88200},     // no crossing: the full length of silence
        {440.0, 1.0, 0.0, 88200},   // amplitude 0: likewise
        {440.0, 0.0, 1.0, 4},       // at least one frame
        {440.0, -3.0, 1.0, 4},
        {10.0, 0.05, 1.0, 4},       // less than a period keeps only the first frame
    };
    for (const Case& c : kCases) {
        const ToneBuffer tone = generate(c.f, c.t, c.a);
        EXPECT_EQ(tone.bytes, c.bytes) << c.f << " " << c.t;
        if (c.a == 0.0 || c.f == 0.0) {
            for (int16_t s : tone.samples) ASSERT_EQ(s, 0);
        }
    }
}

TEST(ToneTest, OvershootAboveHalfRateStoresIndefinite) {
    const ToneBuffer tone = generate(30000.0, 0.01, 1.0);
    bool saw_indefinite = false;
    for (int16_t s : tone.samples) saw_indefinite |= s == -32768;
    EXPECT_TRUE(saw_indefinite);
}

TEST(ToneTest, SecondsToBytes) {
    EXPECT_EQ(sound_seconds_to_bytes(1.0), 88200u);
    EXPECT_EQ(sound_seconds_to_bytes(0.0625), 1378u * 4);
    EXPECT_EQ(sound_seconds_to_bytes(0.0), 4u);
    EXPECT_EQ(sound_seconds_to_bytes(std::nan("")), 4u);
}

// ---------------------------------------------------------------------------------------
// Handles
// ---------------------------------------------------------------------------------------

uint32_t new_silence_handle(uint32_t bytes = 4) {
    auto* buffer = static_cast<uint8_t*>(std::calloc(bytes, 1));
    const uint32_t h = sound_handle_from_samples(buffer, bytes);
    if (h == 0) std::free(buffer);
    return h;
}

using HandleTest = SoundTest;

TEST_F(HandleTest, HandleZeroIsAcceptedEverywhere) {
    sound_play(0);
    sound_stop(0);
    sound_close(0);
    EXPECT_EQ(sound_is_playing(0), 0);
    EXPECT_EQ(error_state.error_number, 0u);
}

TEST_F(HandleTest, UnknownAndClosedHandlesAreErrors) {
    const uint32_t closed = new_silence_handle();
    ASSERT_NE(closed, 0u);
    sound_close(closed);
    ASSERT_EQ(error_state.error_number, 0u);
    void (*const kOperations[])(uint32_t) = {sound_play, sound_stop, sound_close,
                                               [](uint32_t h) { sound_is_playing(h); }};
    for (uint32_t handle : {closed, 1u, 999999u}) {
        for (auto operation : kOperations) {
            error_state.error_number = 0;
            operation(handle);
            EXPECT_EQ(error_state.error_number, 5u) << handle;
        }
    }
}

TEST_F(HandleTest, NumbersStartAtTwoAndSkipZeroAndOneWhenWrapping) {
    const int32_t used = sound_slots_in_use();  // the start-up silence
    sound_slot_table.next_handle = 0xFFFFFFFEu;
    EXPECT_EQ(new_silence_handle(), 0xFFFFFFFEu);
    EXPECT_EQ(new_silence_handle(), 0xFFFFFFFFu);
    EXPECT_EQ(new_silence_handle(), 2u);
    EXPECT_EQ(sound_slots_in_use(), used + 3);
}

TEST_F(HandleTest, AllSlotsInUseDropsTonesSilently) {
    while (new_silence_handle() != 0) {
    }
    EXPECT_EQ(sound_slots_in_use(), kSoundSlotCount);
    take_queued();
    sound_tone(440, 18.2);
    play_bytes(reinterpret_cast<const uint8_t*>("gfedc"), 5);
    sound_queue_tone(440, 0.1, false);
    EXPECT_TRUE(take_queued().empty());
    EXPECT_FALSE(waiting());
    EXPECT_EQ(error_state.error_number, 0u);
}

TEST_F(HandleTest, ClosingReclaimsTheSlot) {
    const int32_t used = sound_slots_in_use();
    const uint32_t h = new_silence_handle(88200);
    EXPECT_EQ(sound_slots_in_use(), used + 1);
    sound_stop(h);
    sound_close(h);
    EXPECT_EQ(sound_slots_in_use(), used);
    EXPECT_EQ(sound_handle_samples(h, nullptr, 0), -1);
}

TEST_F(HandleTest, PendingErrorGuardsPlayStopClose) {
    const uint32_t h = new_silence_handle();
    error_state.error_number = 6;
    sound_close(h);
    sound_tone(1, 1);  // would be error 5
    EXPECT_EQ(error_state.error_number, 6u);
    error_state.error_number = 0;
    EXPECT_NE(sound_handle_samples(h, nullptr, 0), -1);
}

// ---------------------------------------------------------------------------------------
// SOUND and BEEP
// ---------------------------------------------------------------------------------------

using StatementTest = SoundTest;

TEST_F(StatementTest, SoundArguments) {
    struct Case { double f; double ticks; uint32_t error; int32_t queued_frames; };
    const Case kCases[] = {
        {37, 1, 0, -1},           {32767, 1, 0, -1},        {36, 1, 5, 0},
        {32768, 1, 5, 0},         {-1, 1, 5, 0},            {0, 18.2, 0, 22050},
        {440, 0, 0, 0},           {440, 65536, 5, 0},       {440, -1, 5, 0},
        {std::nan(""), 1, 5, 0},  {440, std::nan(""), 5, 0}, {36.5, 1, 5, 0},
    };
    for (const Case& c : kCases) {
        error_state.error_number = 0;
        error_state.suspend_flags.store(0);
        sound_tone(c.f, c.ticks);
        EXPECT_EQ(error_state.error_number, c.error) << c.f << ", " << c.ticks;
        const auto queued = take_queued();
        if (c.queued_frames == 0) {
            EXPECT_TRUE(queued.empty()) << c.f << ", " << c.ticks;
            EXPECT_FALSE(waiting());
            continue;
        }
        ASSERT_EQ(queued.size(), 1u) << c.f << ", " << c.ticks;
        EXPECT_TRUE(waiting());
        EXPECT_EQ(tone_queue.wait_marker.load(), (tone_queue.write_position.load() + kToneQueueLength - 1) % kToneQueueLength);
        if (c.queued_frames > 0) {
            EXPECT_EQ(static_cast<int32_t>(queued[0].samples.size() / 2), c.queued_frames);
        }
    }
}

TEST_F(StatementTest, SoundOneSecondOf440) {
    sound_tone(440, 18.2);
    const auto queued = take_queued();
    ASSERT_EQ(queued.size(), 1u);
    EXPECT_EQ(queued[0].samples.size() / 2, expected_cut_frames(440, 22050));
    EXPECT_EQ(rising_crossings(left_channel(queued[0].samples)), 439);
}

uint32_t slept_ms = 0;

TEST_F(StatementTest, BeepQueuesWithoutWaitAndPauses) {
    auto* const saved = sound_sleep_hook;
    slept_ms = 0;
    sound_sleep_hook = [](uint32_t ms) { slept_ms += ms; };
    sound_beep();
    sound_bell();
    sound_sleep_hook = saved;
    EXPECT_EQ(slept_ms, 500u);
    const auto queued = take_queued();
    ASSERT_EQ(queued.size(), 2u);
    EXPECT_FALSE(waiting());
    EXPECT_EQ(queued[0].samples.size() / 2, expected_cut_frames(783.99, 4410));
    EXPECT_EQ(queued[0].samples, queued[1].samples);
}

// ---------------------------------------------------------------------------------------
// The queue as the display loop drives it
// ---------------------------------------------------------------------------------------

using QueueTest = SoundTest;

TEST_F(QueueTest, StartupSilenceComesFirst) {
    const int32_t write = tone_queue.write_position.load();
    ASSERT_EQ(write, 1);
    const int64_t bytes = sound_handle_samples(tone_queue.entries[0], nullptr, 0);
    EXPECT_EQ(bytes, kSoundStartupSilenceFrames * 4);
}

TEST_F(QueueTest, ServiceStartsEntriesInOrderAndEndsTheWaitAtTheMarker) {
    const int32_t used = sound_slots_in_use();
    sound_queue_tone(440, 0.02, false);
    sound_queue_tone(880, 0.02, true);
    sound_queue_tone(660, 0.02, false);
    EXPECT_TRUE(waiting());
    const int32_t marker = tone_queue.wait_marker.load();
    EXPECT_EQ(marker, 2);
    // Drive the queue as the display loop does, one pass every few milliseconds.
    for (int pass = 0; pass < 500 && tone_queue.read_position.load() != tone_queue.write_position.load(); ++pass) {
        const int32_t read_before = tone_queue.read_position.load();
        sound_service_queue();
        if (read_before <= marker && tone_queue.read_position.load() <= marker) {
            EXPECT_TRUE(waiting());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(4));
    }
    EXPECT_EQ(tone_queue.read_position.load(), tone_queue.write_position.load());
    EXPECT_FALSE(waiting());
    EXPECT_EQ(tone_queue.wait_marker.load(), -1);
    // Everything before the last started entry (the start-up silence too) was reclaimed.
    EXPECT_EQ(used, 1);
    EXPECT_EQ(sound_slots_in_use(), 1);
}

TEST_F(QueueTest, ProgramWaitsWhileDisplayThreadPlaysTheQueue) {
    std::atomic<bool> running{true};
    std::thread display([&running] {
        while (running.load()) {
            sound_service_queue();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    const auto start = std::chrono::steady_clock::now();
    bool all_ended = true;
    for (int i = 0; i < 4 && all_ended; ++i) {
        sound_queue_tone(440.0 + 110 * i, 0.03, true);
        // The statement check: sleeps while the sound-wait bit is set.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (waiting() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        all_ended = !waiting();
    }
    const auto waited = std::chrono::steady_clock::now() - start;
    running.store(false);
    display.join();
    EXPECT_TRUE(all_ended);
    // The first wait ends only after the start-up silence has played.
    EXPECT_GE(waited, std::chrono::milliseconds(300));
}

TEST_F(QueueTest, StopAllDropsPendingEntriesAndAnyWait) {
    sound_queue_tone(440, 0.5, true);
    EXPECT_TRUE(waiting());
    sound_stop_all();
    EXPECT_FALSE(waiting());
    EXPECT_EQ(tone_queue.read_position.load(), tone_queue.write_position.load());
    EXPECT_EQ(sound_slots_in_use(), 0);
}

}  // namespace
