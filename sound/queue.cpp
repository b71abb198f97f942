// The tone queue played in order by the display loop, SOUND, BEEP and the bell.
#include <cstdlib>

#include "errors/errors.h"
#include "platform/platform.h"
#include "sound/private/sound_private.h"
#include "sound/sound.h"

ToneQueue tone_queue{{}, {0}, {0}, {0}, {-1}};

void (*sound_sleep_hook)(uint32_t duration_ms) = platform_sleep_ms;

namespace {

constexpr double kBeepFrequencyHz = 783.99;
constexpr double kBeepSeconds = 0.2;
constexpr uint32_t kBeepPauseMs = 250;
constexpr double kClockTicksPerSecond = 18.2;

int32_t tone_queue_next(int32_t position) { return position + 1 == kToneQueueLength ? 0 : position + 1; }

}  // namespace

void sound_queue_push(uint32_t handle, bool wait) {
    const int32_t position = tone_queue.write_position.load(std::memory_order_relaxed);
    if (wait) {
        tone_queue.wait_marker.store(position);
        error_state.suspend_flags.fetch_or(kSuspendSoundWait);
        error_state.event_pending.store(1);
    }
    tone_queue.entries[position] = handle;
    // The entry is stored before the display loop can see the new write position.
    tone_queue.write_position.store(tone_queue_next(position), std::memory_order_release);
}

void sound_queue_samples(uint8_t* samples, uint32_t byte_length, bool wait) {
    if (samples == nullptr) return;
    const uint32_t handle = sound_handle_from_samples(samples, byte_length);
    if (handle == 0) {
        std::free(samples);  // every slot in use: the sound is dropped silently
        return;
    }
    sound_queue_push(handle, wait);
}

void sound_queue_silence(uint32_t byte_length, bool wait) {
    sound_queue_samples(static_cast<uint8_t*>(std::calloc(byte_length, 1)), byte_length, wait);
}

void sound_queue_startup_silence() {
    sound_queue_silence(kSoundStartupSilenceFrames * kSoundBytesPerFrame, false);
}

void sound_queue_tone(double frequency_hz, double duration_seconds, bool wait) {
    sound_init();  // the bell may be the first sound of a run
    uint8_t* samples = sound_generate_tone(frequency_hz, duration_seconds, 1.0);
    sound_queue_samples(samples, sound_last_generated_bytes, wait);
}

void sound_service_queue() {
    const int32_t read = tone_queue.read_position.load();
    if (read == tone_queue.write_position.load(std::memory_order_acquire)) return;
    if (!tone_queue.started.load()) {
        tone_queue.started.store(1);
    } else {
        const int32_t previous = read == 0 ? kToneQueueLength - 1 : read - 1;
        if (sound_slot_is_playing(tone_queue.entries[previous]) == -1) return;
        sound_slot_close(tone_queue.entries[previous]);
    }
    int32_t marker = read;
    // Only the wait this entry was marked for ends here; a newer marker stays.
    if (tone_queue.wait_marker.compare_exchange_strong(marker, -1)) {
        error_state.suspend_flags.fetch_and(static_cast<uint8_t>(~kSuspendSoundWait));
    }
    sound_slot_play(tone_queue.entries[read]);
    tone_queue.read_position.store(tone_queue_next(read));
}

void sound_tone(double frequency_hz, double duration_ticks) {
    if (error_pending()) return;
    sound_init();
    // NaN fails every comparison, so test for the valid ranges.
    const bool frequency_ok = frequency_hz == 0.0 || (frequency_hz >= 37.0 && frequency_hz <= 32767.0);
    const bool duration_ok = duration_ticks >= 0.0 && duration_ticks <= 65535.0;
    if (!frequency_ok || !duration_ok) {
        error_raise(kErrorIllegalFunctionCall);
        return;
    }
    if (duration_ticks == 0.0) return;
    sound_queue_tone(frequency_hz, duration_ticks / kClockTicksPerSecond, true);
}

void sound_beep() {
    sound_queue_tone(kBeepFrequencyHz, kBeepSeconds, false);
    sound_sleep_hook(kBeepPauseMs);
}

void sound_bell() { sound_beep(); }
